#include "app/zarvo_app.h"

#include "app/app.h"
#include "app/resource.h"
#include "ui/application.h"
#include "ui/dpi.h"

namespace {

ui::FrameSetup frame_setup() {
    ui::FrameSetup s;
    s.title = "ZARVO";
    s.icon_id = IDI_ZARVO;
    s.menu_name = "ZRVMENU";
    s.accelerators_name = "COMMANDS";
    s.buttons = {{CM_NEW, CM_NEW},         {CM_OPEN, CM_OPEN}, {CM_ADD, CM_ADD},
                 {CM_EXTRACT, CM_EXTRACT}, {CM_VIEW, CM_VIEW}, {CM_INSTALL, CM_INSTALL}};
    s.button_size = 24;
    s.toolbar_font_points = 10;
    s.status_field_chars = {13, 40};
    return s;
}

} // namespace

bool Zarvo95App::init_main_window(bool show) {
    frame_ = std::make_unique<ui::DecoratedFrame>(frame_setup());
    int dpi = ui::dpi_of(nullptr);
    if (!frame_->create_frame(CW_USEDEFAULT, CW_USEDEFAULT, ui::scale_px(680, dpi),
                              ui::scale_px(460, dpi)))
        return false;
    window_ = std::make_unique<TAppWin>(frame_.get());
    if (!window_->create_in_frame()) return false;
    if (show) {
        ShowWindow(frame_->hwnd(), SW_SHOWNORMAL);
        UpdateWindow(frame_->hwnd());
    }
    return true;
}

int Zarvo95App::run() {
    frame_->set_quit_on_destroy(true);
    int status = ui::run_message_loop(*frame_);
    window_.reset();
    frame_.reset();
    return status;
}

int zarvo_main(const std::vector<std::string>& args, const char* program_path) {
    StartupOutcome start = start_program(args, program_path);
    if (!start.run) return start.exit_status;
    int status = 0;
    {
        Zarvo95App application;
        if (application.init_main_window())
            status = application.run();
        else
            status = 1;
    }
    end_program();
    return status;
}
