// TShowZipComment: the read-only box under " Zip Comment" that shows the
// archive comment.
#pragma once

#include "ui/window.h"

class TShowZipComment {
  public:
    void create(HWND parent, HFONT font);
    HWND hwnd() const { return hwnd_; }
    // Edit (1004, passed on by the main window): the comment in
    // EditCommentDlg, written into the archive on Done and shown here.
    // Returns the engine's result, -1 on Cancel.
    int editComment();

  private:
    // The right button's pop-up; its command goes to the main window, whose
    // enabling rule it shares.
    void popupMenu();
    static LRESULT CALLBACK boxProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR id,
                                    DWORD_PTR self);

    HWND hwnd_ = nullptr;
};
