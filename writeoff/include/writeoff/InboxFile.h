// Reading of the shop floor's inbox files: text decoding, lines, fields of a
// record, and the hh:mm:ss time texts of the machine-time cost.
#pragma once
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace writeoff {

// Decodes the bytes of an inbox file into UTF-8. A byte-order mark selects
// UTF-8, UTF-16LE or UTF-16BE (the mark itself is dropped); without one,
// bytes that form valid UTF-8 are taken as such and anything else is read as
// Windows-1252.
std::string DecodeInboxText(const std::string& bytes);

// Splits a text into lines ending at CR LF, CR or LF. A line break at the very
// end does not start another line; an empty text has no lines.
std::vector<std::string> SplitLines(const std::string& text);

// Reads a whole inbox file and gives its lines. Throws std::runtime_error when
// the file cannot be read (a folder, a missing file, no permission).
std::vector<std::string> ReadInboxLines(const std::filesystem::path& path);

// Splits a record line at ";". A leading ";" is dropped; a field after a ";"
// that begins with a double quote runs to the next double quote, its ";"
// turned into ","; a line ending in ";" has no empty last field; an empty
// line has no fields.
std::vector<std::string> SplitFields(const std::string& line);

// Which part of a time text was not a whole number.
enum class TimePart { Hours, Minutes, Seconds };

// Converts "hh:mm:ss" to hours rounded to four decimals (01:30:36 gives 1.51).
// Each part is read as "0" + its two characters, so a missing part counts 0;
// a part that is not a whole number is reported through `badPart` and counts 0.
double TimeTextToHours(const std::string& text,
                       const std::function<void(TimePart)>& badPart = {});

// The message shown for a part that is not a whole number.
const char* TimePartMessage(TimePart part);

// The time of day of a duration in days (whole days dropped), as "hh:mm:ss"
// with whole seconds.
std::string DurationTimeText(double days);

}  // namespace writeoff
