// Driving a dialog with the keyboard from a test: keys posted to its focused
// control and run through IsDialogMessage, as the dialog's own loop runs
// them, and the access letters its controls show.
#pragma once

#include <string>
#include <vector>

#include <windows.h>

namespace test {

// The messages waiting, through the dialog manager first, as the modal
// loop of DialogBox hands them on.
void pump_dialog(HWND dialog);

// A key pressed and released on the focused control.
void press(HWND dialog, WPARAM vk);

// Alt+letter as the system delivers it to the focused control.
void press_alt(HWND dialog, char letter);

// The id of the dialog's control that has the focus (a drop-down's inner
// edit counts as the drop-down); 0 when the focus is elsewhere.
int focused_id(HWND dialog);

// The access letter of a control text (upper case), 0 for none; "&&" is a
// plain ampersand.
char letter_of(const std::string& text);

// The text as shown, without its access letter marks.
std::string without_letters(const std::string& text);

// Letters shown by the dialog's labels and buttons, in template order;
// fields that show data (SS_NOPREFIX) carry none.
std::string shown_letters(HWND dialog);

// The dialog template of this program named `dialog`, made without its
// program: every button and check box but OK and Cancel has an access letter,
// no letter serves two controls, a lettered label is followed by a control
// the letter can reach, and the buttons show `buttons` (letters left out).
void expect_own_letters(const char* dialog, const std::vector<std::string>& buttons);

} // namespace test
