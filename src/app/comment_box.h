// TShowZipComment: the read-only box under " Zip Comment" that shows the
// archive comment.
#pragma once

#include "ui/window.h"

class TShowZipComment {
  public:
    void create(HWND parent, HFONT font);
    HWND hwnd() const { return hwnd_; }

  private:
    HWND hwnd_ = nullptr;
};
