// The small dialogs of the main window: About and the name filter.
#pragma once

#include "ui/dialog.h"

class TAboutDlg : public ui::Dialog {
  public:
    explicit TAboutDlg(HWND parent) : ui::Dialog(parent, "ABOUT_DLG") {}
};

// "ZARVO - Select by Name Filter(s)": the filter text and the two switches,
// which are kept by the caller from one use to the next.
class TSelectNameDlg : public ui::Dialog {
  public:
    TSelectNameDlg(HWND parent, char* text, int* keepPrevious, int* caseSensitive)
        : ui::Dialog(parent, "SELECTNAME_DLG"), text_(text), keepPrevious_(keepPrevious),
          caseSensitive_(caseSensitive) {}

  protected:
    bool on_init() override;
    bool on_command(int id, int code) override;

  private:
    char* text_; // 260 bytes
    int* keepPrevious_;
    int* caseSensitive_;
};
