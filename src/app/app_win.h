// TAppWin: the client window of the main frame. It holds the member list,
// the archive comment under its caption, the flags the commands are enabled
// by, and the command table. Its concerns are split over files: the window
// and its commands here and in app_win.cpp, the list in list_view.cpp, the
// Select menu in selection.cpp.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ui/frame.h"
#include "ui/window.h"

#include <shellapi.h>

#include "app/comment_box.h"

struct AddPreset;

class TAppWin : public ui::Window {
  public:
    enum : std::uint32_t { hasEntries = 1, hasSelection = 2, hasInstaller = 4 };

    explicit TAppWin(ui::DecoratedFrame* frame);
    ~TAppWin() override;
    bool create_in_frame();

    bool execute_command(int id) override;
    ui::CommandState command_state(int id) override;

    // Reads archivePath into the catalog and shows it.
    void openArchiveView();
    // False, after telling the user and emptying the list, when the archive
    // shown was moved or deleted since it was read: a job would otherwise
    // fail with a message that does not say why.
    bool archiveStillThere();
    // Refills the list, the status fields and the comment from the catalog.
    void refreshList();
    // Marks the members of the selected rows, at most n of them (0: all).
    void markSelected(std::uint32_t n);
    // Takes the selected state from every row.
    void unselectAll();

    HWND list() const { return list_; }
    HWND comment_box() const { return comment_.hwnd(); }
    HWND comment_caption() const { return caption_; }
    int dpi() const { return dpi_; }
    int archiveOpen() const { return archiveOpen_; }
    std::uint32_t windowFlags() const { return windowFlags_; }
    // How many cell texts the list has asked for since the window was made:
    // a large archive must cost texts for the rows shown, not for every row.
    std::uint64_t cellTextsMade() const { return cellTextsMade_; }

    // The command handlers and enabling rules of the table.
    void cmOpen();
    void cmSettings();
    void cmSelectAll();
    void cmNameFilter();
    void cmInvert();
    // Sort by (list_view.cpp): a key keeps the direction, a direction the key.
    void cmSortName();
    void cmSortDate();
    void cmSortSize();
    void cmSortPacked();
    void cmSortRatio();
    void cmSortAscending();
    void cmSortDescending();
    void cmHelpContents();
    void cmAbout();
    // New and Add (add_files.cpp).
    void cmNew();
    void cmAdd();
    // Add with the dialog opened on preset (nullptr: as the command opens it).
    void addFiles(const AddPreset* preset);
    // Files and folders dropped on the window (drop_in.cpp): added to the
    // archive shown, or the one archive dropped opened.
    void onDropFiles(HDROP drop);
    void dropFiles(const std::vector<std::string>& names);
    // The selected members dragged out of the list (drag_out.cpp).
    void dragMembersOut();
    // Extract (extract_cmd.cpp).
    void cmExtract();
    // View, Run and Remove (view_run.cpp); Run is the list's double click.
    void cmView();
    void runByAssociation();
    void cmRemove();
    // The view watcher's request, carried out on this window's thread.
    void onViewWatchDone(WPARAM wp, LPARAM lp);
    // Install (install_cmd.cpp): a trial installation under the install monitor.
    void cmInstall();
    // The archive comment (comment.cpp); Edit comes from the menu and the
    // comment box's pop-up.
    void cmEditComment();
    void cmUseFileComment();
    TShowZipComment& commentBox() { return comment_; }
    ui::DecoratedFrame* frame() const { return frame_; }
    bool entriesShown() const { return windowFlags_ & hasEntries; }
    bool rowsSelected() const { return windowFlags_ & hasSelection; }
    bool installerFound() const { return windowFlags_ & hasInstaller; }
    bool commentEditable() const;

  protected:
    LRESULT handle(UINT msg, WPARAM wp, LPARAM lp) override;

  private:
    void setup_window();
    void layout(int width, int height);
    // The comment font at the window's DPI, and its line height.
    void makeCommentFont();
    // Fonts, column widths and layout for a new DPI (0: the window's).
    void dpiChanged(int dpi);
    LRESULT on_list_notify(NMHDR* hdr);
    void insertColumns();
    // The columns' given widths at the window's DPI.
    void setColumnWidths();
    void cellText(int row, int column, char* out, int out_size);
    void columnClick(int column);
    void sortBy(std::uint32_t mode);
    // The header's sort arrow and the Sort by check marks follow the catalog's mode.
    void showSortOrder();
    void updateSelectionFlag();
    void listPopupMenu();
    bool archiveHasInstaller();
    void scrollIntoView(int row);

    ui::DecoratedFrame* frame_;
    HWND list_ = nullptr;
    HFONT commentFont_ = nullptr;
    int commentLineHeight_ = 12;
    int dpi_ = 96;
    HWND caption_ = nullptr;
    TShowZipComment comment_;
    int archiveOpen_ = 0;
    std::uint32_t windowFlags_ = 0;
    std::uint64_t cellTextsMade_ = 0;
    bool oleReady_ = false;
};

// A lower-cased name that holds setup.exe, setup32.exe, install.exe or
// install.bat anywhere.
int isInstallerName(const char* name);
// The name a row of the member list holds, in UTF-8.
std::string listRowName(HWND list, int row);
