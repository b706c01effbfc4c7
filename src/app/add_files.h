// "ZARVO - Add Files": the source folder, the files or name filters to take
// from it and the options of the add job, written into an flist on Ok.
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"
#include "ui/dialog.h"

struct flist;

// What the dialog opens with instead of lastFolder and an empty selection:
// files dropped on the main window are shown selected in their folder; a
// folder dropped alone is the source folder with Recurse Folders checked.
struct AddPreset {
    std::string folder;
    std::vector<std::string> files; // names in folder
    bool recurse = false;
};

class TAddFileDlg : public ui::Dialog {
  public:
    // lastFolder, includeText and excludeText are the caller's 260-byte
    // buffers; they, and files, change only when the dialog ends with OK.
    TAddFileDlg(HWND parent, const char* archivePath, char* lastFolder, flist& files,
                char* includeText, char* excludeText);
    // Before execute.
    void preset(const AddPreset& p);

  protected:
    bool on_init() override;
    bool on_command(int id, int code) override;

  private:
    void showFolder();
    void fileSelectionRule();
    void driveChosen();
    void folderChosen();
    void help();
    void ok();
    void takeFiles();
    int selectedRow(int id) const;

    const char* archivePath_;
    char* lastFolder_;
    flist& files_;
    char* includeText_;
    char* excludeText_;
    char folder_[platform::kMaxPath] = {};
    const AddPreset* preset_ = nullptr;
};
