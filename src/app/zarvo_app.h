// Zarvo95App: builds the main frame (title, icon, menu, accelerators, tool
// bar, status bar) with TAppWin inside, and runs it.
#pragma once

#include <memory>

#include "app/app_win.h"
#include "ui/frame.h"

class Zarvo95App {
  public:
    // Creates the frame and TAppWin; false when a window could not be made.
    bool init_main_window(bool show = true);
    int run();
    ui::DecoratedFrame* frame() const { return frame_.get(); }
    TAppWin* window() const { return window_.get(); }

  private:
    std::unique_ptr<ui::DecoratedFrame> frame_;
    std::unique_ptr<TAppWin> window_;
};

// The whole program: start-up, window, message loop, end.
int zarvo_main(const std::vector<std::string>& args, const char* program_path);
