// The texts the member list shows for a member, and the totals line. Shared
// by the list window and the command line so both print the same.
#pragma once

#include <string>

struct zentry;
struct zlist;

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
