// Members dragged out of the list. They are extracted when the drag starts,
// not when the target first asks for the data: an extraction error is then
// shown before anything is dragged, and no message box comes up inside the
// drag's own modal loop.
#include "app/drag_out.h"

#include <commctrl.h>
#include <shlobj.h>

#include "app/app.h"
#include "app/app_win.h"
#include "ops/extract.h"
#include "ops/paths.h"
#include "zip/zlist.h"

namespace {

std::wstring wide(const std::string& utf8) {
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, nullptr, 0);
    if (n <= 1) return std::wstring();
    std::wstring w(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, &w[0], n);
    w.resize(static_cast<std::size_t>(n - 1));
    return w;
}

HRESULT run_do_drag_drop(IDataObject* data, IDropSource* source, DWORD* effect) {
    return DoDragDrop(data, source, DROPEFFECT_COPY, effect);
}

DragRunner& runner() {
    static DragRunner r = run_do_drag_drop;
    return r;
}

class FileDropData : public IDataObject {
  public:
    explicit FileDropData(const std::vector<std::string>& paths) {
        for (const std::string& p : paths)
            paths_.push_back(wide(p));
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDataObject)) {
            *out = static_cast<IDataObject*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&refs_); }
    ULONG STDMETHODCALLTYPE Release() override {
        LONG left = InterlockedDecrement(&refs_);
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }

    HRESULT STDMETHODCALLTYPE GetData(FORMATETC* format, STGMEDIUM* medium) override {
        if (!format || !medium) return E_INVALIDARG;
        HRESULT offered = QueryGetData(format);
        if (offered != S_OK) return offered;
        // A new block each time: the caller owns and frees it.
        std::size_t chars = 1;
        for (const std::wstring& p : paths_)
            chars += p.size() + 1;
        HGLOBAL block = GlobalAlloc(GHND, sizeof(DROPFILES) + chars * sizeof(wchar_t));
        if (!block) return E_OUTOFMEMORY;
        auto* header = static_cast<DROPFILES*>(GlobalLock(block));
        header->pFiles = sizeof(DROPFILES);
        header->fWide = TRUE;
        auto* at = reinterpret_cast<wchar_t*>(header + 1);
        for (const std::wstring& p : paths_) {
            std::copy(p.begin(), p.end(), at);
            at += p.size() + 1;
        }
        GlobalUnlock(block);
        medium->tymed = TYMED_HGLOBAL;
        medium->hGlobal = block;
        medium->pUnkForRelease = nullptr;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC* format) override {
        if (!format) return E_INVALIDARG;
        if (format->cfFormat != CF_HDROP) return DV_E_FORMATETC;
        if (!(format->tymed & TYMED_HGLOBAL)) return DV_E_TYMED;
        if (format->dwAspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) override {
        if (out) out->ptd = nullptr;
        return DATA_S_SAMEFORMATETC;
    }
    // Targets offer their own formats (drop effects, images); none is kept.
    HRESULT STDMETHODCALLTYPE SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD direction, IEnumFORMATETC** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (direction != DATADIR_GET) return E_NOTIMPL;
        FORMATETC format = {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
        return SHCreateStdEnumFmtEtc(1, &format, out);
    }
    HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override {
        return OLE_E_ADVISENOTSUPPORTED;
    }
    HRESULT STDMETHODCALLTYPE DUnadvise(DWORD) override { return OLE_E_ADVISENOTSUPPORTED; }
    HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA**) override {
        return OLE_E_ADVISENOTSUPPORTED;
    }

  private:
    virtual ~FileDropData() = default;
    LONG refs_ = 1;
    std::vector<std::wstring> paths_;
};

class DropSource : public IDropSource {
  public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDropSource)) {
            *out = static_cast<IDropSource*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&refs_); }
    ULONG STDMETHODCALLTYPE Release() override {
        LONG left = InterlockedDecrement(&refs_);
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }
    HRESULT STDMETHODCALLTYPE QueryContinueDrag(BOOL escape, DWORD keys) override {
        if (escape || (keys & MK_RBUTTON)) return DRAGDROP_S_CANCEL;
        if (!(keys & MK_LBUTTON)) return DRAGDROP_S_DROP;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GiveFeedback(DWORD) override { return DRAGDROP_S_USEDEFAULTCURSORS; }

  private:
    virtual ~DropSource() = default;
    LONG refs_ = 1;
};

// A folder of the work folder that no drag used yet; "" when none is free.
std::string fresh_drag_folder() {
    std::string work = app().settings.workDir;
    for (int i = 1; i < 10000; ++i) {
        std::string folder = work + "drag" + std::to_string(i);
        if (platform::get_attributes(folder.c_str()) != platform::kInvalidAttributes) continue;
        if (folder.size() + 1 >= platform::kMaxPath || !platform::create_directory(folder.c_str()))
            return std::string();
        return folder;
    }
    return std::string();
}

void remove_folder(const std::string& folder) {
    deleteFilesBelow(folder.c_str());
    removeEmptyFolders(folder.c_str());
}

} // namespace

DragRunner set_drag_runner(DragRunner r) {
    DragRunner previous = runner();
    runner() = r ? std::move(r) : DragRunner(run_do_drag_drop);
    return previous;
}

IDataObject* new_file_drop_data(const std::vector<std::string>& paths) {
    return new FileDropData(paths);
}

IDropSource* new_drop_source() {
    return new DropSource;
}

void TAppWin::dragMembersOut() {
    AppState& a = app();
    if (!archiveOpen_ || !rowsSelected() || !a.workFolderReady || !archiveStillThere()) return;
    std::string folder = fresh_drag_folder();
    if (folder.empty()) {
        platform::message_box({"ZARVO could not make a folder for the dragged files in its work "
                               "folder " +
                                   std::string(a.settings.workDir) + ".",
                               "ZARVO", platform::kMbOk | platform::kMbIconExclamation, hwnd()});
        return;
    }
    markSelected(0);
    // The members keep their folders, as Extract with folder names makes them.
    int r = extract_files(a.engine, a.catalog, nullptr, a.archivePath, folder.c_str(), 1, 8);
    // A member skipped or damaged is a warning, after which the job goes
    // on; a drag offers all the selected members or none.
    if (a.engine.warnings != 0 && r == 0) r = -1;
    std::vector<std::string> paths;
    std::vector<platform::FindData> found;
    if (r == 0 && platform::find_files((folder + "\\*.*").c_str(), &found))
        for (const platform::FindData& f : found)
            paths.push_back(folder + "\\" + f.name);
    // The engine said what went wrong; nothing half made is offered or kept.
    if (r != 0 || paths.empty()) {
        remove_folder(folder);
        return;
    }
    IDataObject* data = new_file_drop_data(paths);
    IDropSource* source = new_drop_source();
    DWORD effect = DROPEFFECT_NONE;
    runner()(data, source, &effect);
    source->Release();
    data->Release();
    // The files stay until the work folder is emptied: a target may still
    // be copying them after the drag has ended.
}
