// ResultsDlg: what the monitored installation changed, as a tree with check
// marks, the report, and the choice between undoing by the monitor, the
// application's own uninstaller, or keeping it; and the results loop that
// acts on that choice.
#pragma once

#include "monitor/registry_snapshot.h"
#include "ui/dialog.h"

#include <commctrl.h>

namespace kestril {

// Set once the user has chosen the application's own uninstaller; from then
// on the results dialog no longer offers it.
extern bool appUninstallTried;

class ResultsDlg : public ui::Dialog {
  public:
    // Ends with 1 (undo by the monitor), 4 (run the application's
    // uninstaller, whose command is in monitor::uninstallCommand) or 2 (keep
    // everything).
    explicit ResultsDlg(HWND parent);
    ~ResultsDlg() override;

  protected:
    bool on_init() override;
    bool on_command(int id, int code) override;
    INT_PTR on_message(UINT msg, WPARAM wp, LPARAM lp) override;

  private:
    HWND tree() const;
    HTREEITEM insert(HTREEITEM parent, const std::string& text, int image, LPARAM change = 0);
    void fillFiles();
    void fillRegistry();
    void toggle(HTREEITEM item);
    void uninstall();
    void writeReport();
    void help();
    void rememberLayout();
    void layout(int clientWidth, int clientHeight);
    // The tree's check box images, sized for dpi.
    static HIMAGELIST checkImages(int dpi);

    HIMAGELIST images_ = nullptr;
    // The template's layout, in client coordinates, that every size of the
    // dialog is derived from; the template's size is also the smallest.
    struct Placed {
        int id;
        RECT rect;
    };
    Placed placed_[6] = {};
    SIZE templateClient_ = {};
    SIZE minWindow_ = {};
    // The change that names the application's uninstaller; none when the
    // dialog does not offer it.
    const monitor::RegChange* uninstallKey_ = nullptr;
};

// Runs the results dialog, and the undo it asks for, until the user is done.
void resultsLoop();

} // namespace kestril
