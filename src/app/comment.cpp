// The archive comment: editing it and taking it from a member.
#include <cstring>
#include <string>
#include <vector>

#include "app/app.h"
#include "app/app_win.h"
#include "app/comment_dlg.h"
#include "app/resource.h"
#include "ops/extract.h"
#include "zip/errors.h"
#include "zip/writer.h"

namespace {

// The most an end record's 16-bit length can describe: a comment is never cut.
const std::uint32_t kCommentLimit = 65535;

std::string editText(HWND edit) {
    std::vector<char> text(static_cast<std::size_t>(GetWindowTextLengthA(edit)) + 1);
    GetWindowTextA(edit, text.data(), static_cast<int>(text.size()));
    return text.data();
}

// A comment that could not be written is reported, and the catalog, which
// the writer changed already, is read again so the window shows what the
// file holds.
void commentNotWritten(TAppWin& w, int error) {
    zip_error(app().engine, error);
    w.openArchiveView();
}

} // namespace

std::size_t addCRs(const char* text, char* out, std::size_t limit) {
    std::size_t n = 0;
    for (const char* p = text; *p; ++p) {
        std::size_t need = *p == '\n' ? 2 : 1;
        if (n + need > limit) break;
        if (*p == '\n') out[n++] = '\r';
        out[n++] = *p;
    }
    out[n] = '\0';
    return n;
}

bool EditCommentDlg::on_init() {
    SendMessageA(item(IDC_COMMENT_EDIT), EM_LIMITTEXT, limit_, 0);
    set_text(IDC_COMMENT_EDIT, buffer_);
    return true;
}

bool EditCommentDlg::on_command(int id, int code) {
    switch (id) {
    case IDC_ADD_CRS: {
        // Worked on a copy: Cancel afterwards leaves the caller's text alone.
        std::vector<char> formatted(limit_ + 1);
        addCRs(editText(item(IDC_COMMENT_EDIT)).c_str(), formatted.data(), limit_);
        set_text(IDC_COMMENT_EDIT, formatted.data());
        return true;
    }
    case IDC_ERASE_COMMENT:
        set_text(IDC_COMMENT_EDIT, "");
        return true;
    case IDOK:
        GetWindowTextA(item(IDC_COMMENT_EDIT), buffer_, static_cast<int>(limit_ + 1));
        end(IDOK);
        return true;
    }
    return ui::Dialog::on_command(id, code);
}

int TShowZipComment::editComment() {
    AppState& a = app();
    std::vector<char> buffer(kCommentLimit + 1);
    const zlist& catalog = a.catalog;
    std::size_t length =
        catalog.comment_length < kCommentLimit ? catalog.comment_length : kCommentLimit;
    std::memcpy(buffer.data(), catalog.comment.data(),
                length < catalog.comment.size() ? length : catalog.comment.size());
    if (EditCommentDlg(hwnd_, buffer.data(), kCommentLimit).execute() != IDOK) return -1;
    std::uint32_t textLength = static_cast<std::uint32_t>(std::strlen(buffer.data()));
    int r;
    if (textLength == 0) {
        // delete_comment does nothing while an earlier job's error stands.
        a.engine.error = 0;
        a.engine.warnings = 0;
        r = delete_comment(a.engine, a.catalog);
    } else {
        r = set_comment(a.engine, a.catalog, buffer.data(), textLength);
    }
    SetWindowTextA(hwnd_, buffer.data());
    return r;
}

void TAppWin::cmEditComment() {
    int r = comment_.editComment();
    if (r > 0) commentNotWritten(*this, r);
}

void TAppWin::cmUseFileComment() {
    AppState& a = app();
    markSelected(1);
    std::vector<std::uint8_t> buffer(kCommentLimit + 1);
    int r = extract_to_memory(a.engine, a.catalog, nullptr, a.archivePath, buffer.data(),
                              kCommentLimit);
    if (r != 0) {
        zip_error(a.engine, r);
        return;
    }
    const char* text = reinterpret_cast<const char*>(buffer.data());
    r = set_comment(a.engine, a.catalog, text, static_cast<std::uint32_t>(std::strlen(text)));
    SetWindowTextA(comment_.hwnd(), text);
    if (r != 0) commentNotWritten(*this, r);
}
