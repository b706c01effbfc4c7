// Access letters of the smaller dialogs: every button and check box the
// user may want without the mouse carries an & letter, no letter serves two
// controls of one dialog, and the words shown stay as they were. OK and
// Cancel are left without: Return and Escape serve them.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "dialog_keys.h"

namespace test {

TEST(AccessLetters, EveryButtonOfTheSmallDialogsHasItsOwnLetter) {
    const struct {
        const char* dialog;
        std::vector<std::string> buttons; // as shown, OK and Cancel included
    } cases[] = {
        {"SELECTNAME_DLG", {"Case Sensitive", "Keep Previous Selections", "OK", "Cancel"}},
        {"SETINI_DLG", {"Pause when finished", "OK", "Cancel"}},
        {"INSTALLER_DLG", {"OK", "Cancel"}},
        {"SETUP_DLG", {"No uninstall will be needed.", "OK", "Cancel", "Help"}},
        {"ZCOM_DLG", {"Add CR's", "Erase Comment", "Done", "Cancel"}},
    };
    for (const auto& c : cases)
        expect_own_letters(c.dialog, c.buttons);
}

} // namespace test
