// "ZARVO - Zip Comment": the archive comment in an edit, with a button that
// turns bare line feeds into line breaks the edit shows.
#pragma once

#include <cstddef>
#include <cstdint>

#include "ui/dialog.h"

// Copies text into out with every line feed written as CR LF, as far as it
// fits within limit characters (out holds limit + 1 bytes: a NUL ends it).
// A character whose line break would pass the limit ends the copy. Returns
// the length written.
std::size_t addCRs(const char* text, char* out, std::size_t limit);

class EditCommentDlg : public ui::Dialog {
  public:
    // buffer holds limit + 1 bytes; it gets the text on Done and stays as it
    // was on Cancel.
    EditCommentDlg(HWND parent, char* buffer, std::uint32_t limit)
        : ui::Dialog(parent, "ZCOM_DLG"), buffer_(buffer), limit_(limit) {}

  protected:
    bool on_init() override;
    bool on_command(int id, int code) override;

  private:
    char* buffer_;
    std::uint32_t limit_;
};
