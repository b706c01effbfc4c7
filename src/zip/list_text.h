// The texts the member list shows for a member, and the totals line. Shared
// by the list window and the command line so both print the same.
#pragma once

#include <string>

#include "platform/platform.h"

struct zentry;
struct zlist;

// The time the member's rows and questions show, as local DOS time: its
// exact time in this zone when it has one, else its DOS fields.
platform::DosTime member_shown_time(const zentry& e);
// "%2d/%2d/%2d" month/day/year in local time, or "Folder" for a stored folder.
std::string member_date_text(const zentry& e);
// Twelve-hour "hh:mm am" / "hh:mm pm" in local time, or "00:00" for a folder.
std::string member_time_text(const zentry& e);
// Both of the above with one time-zone conversion.
void member_date_time_texts(const zentry& e, std::string* date, std::string* time);
// "NN%": the percentage saved.
std::string member_ratio_text(const zentry& e);
// "Files: %d    Size: %lu    Pack: %lu    Ratio: %d%%", with 64-bit sums.
std::string totals_text(const zlist& list);
