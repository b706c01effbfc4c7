// Every dialog template of a module made with its controls as the template
// gives them, and each static text, button, check box and group box's text
// measured in the control's own font against the room the control gives it.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <string>
#include <vector>

namespace test {

// One line per text that does not fit ("" when all fit, and when a template
// cannot be made, a line saying so); names gets the templates' names.
std::string cut_template_texts(HMODULE module, std::vector<std::string>* names);

} // namespace test
