// The Extract command's destination dialog and the two confirmations that
// jobs ask: replace an existing file, delete a read-only one.
#pragma once

#include <cstdint>
#include <string>

#include "ui/dialog.h"

struct zentry;

// "ZARVO - Select a Destination Folder": where to and whether the members'
// folder names are used. The folder list and the drive list navigate; Return
// navigates too and never closes the dialog.
class TDirSelectDlg : public ui::Dialog {
  public:
    TDirSelectDlg(HWND parent, const char* archive_path, char* destination, int has_folders)
        : ui::Dialog(parent, "DIRSELECT_DLG"), archivePath_(archive_path),
          destination_(destination), useFolderNames_(has_folders) {}
    void set_caption(const char* caption) { caption_ = caption; }
    int useFolderNames() const { return useFolderNames_; }

  protected:
    bool on_init() override;
    bool on_command(int id, int code) override;

  private:
    void showFolder(const char* folder);
    void openSelectedFolder();

    const char* archivePath_;
    char* destination_; // 260 bytes, written on OK
    int useFolderNames_;
    std::string caption_;
};

// Both confirmations end with an answer code: 1 yes, 8 yes to all, 4 no,
// 16 cancel (also the close box).
class TOverWriteDlg : public ui::Dialog {
  public:
    TOverWriteDlg(HWND parent, const char* target_path, const zentry& e)
        : ui::Dialog(parent, "OVERWRITE_DLG"), target_(target_path), entry_(e) {}

  protected:
    bool on_init() override;
    bool on_command(int id, int code) override;

  private:
    const char* target_;
    const zentry& entry_;
};

class TReadOnlyDlg : public ui::Dialog {
  public:
    TReadOnlyDlg(HWND parent, const char* path) : ui::Dialog(parent, "READONLY_DLG"), path_(path) {}

  protected:
    bool on_init() override;
    bool on_command(int id, int code) override;

  private:
    const char* path_;
};
