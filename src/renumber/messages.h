#pragma once
// The program's messages, and which one each outcome of a renumbering job reports. The
// Windows resource script carries the same texts under the same ids; every message the
// program shows comes from here or from there. The front ends only choose how to show a
// message (the error stream, a message box). The resource compiler reads only the text
// macros (it defines RC_INVOKED).

#define KERRO_TEXT_READ_ERROR "File read error. \"%1\""
#define KERRO_TEXT_INITIAL_OUT_OF_RANGE "Initial value is out of range."
#define KERRO_TEXT_STEP_OUT_OF_RANGE "Step value is out of range."
#define KERRO_TEXT_FINISHED "Finished"
#define KERRO_TEXT_WRITE_ERROR "File write error. \"%1\""
#define KERRO_TEXT_OUT_OF_NUMBERS "No free reference for \"%2\". \"%1\""
// The caption of the program's message boxes.
#define KERRO_TEXT_PROGRAM_NAME "Kerro"
// The file type that the file chooser offers.
#define KERRO_TEXT_FILE_TYPE "Tosk Files (*.ce2)"

#ifndef RC_INVOKED

#include <string>
#include <string_view>

namespace kerro {

inline constexpr int kMessageReadError = 102;
inline constexpr int kMessageInitialOutOfRange = 103;
inline constexpr int kMessageStepOutOfRange = 104;
inline constexpr int kMessageFinished = 105;
inline constexpr int kMessageWriteError = 106;
inline constexpr int kTextProgramName = 107;
inline constexpr int kTextFileType = 108;
// A prefix ran out of numbers (%1 the path, %2 the prefix); nothing was written.
inline constexpr int kMessageOutOfNumbers = 109;

// The text of message `id`, or empty for an unknown id.
std::string_view MessageText(int id);

// The text of message `id` with every "%1" replaced by `argument` and every "%2" by
// `second`.
std::string FormatMessage(int id, std::string_view argument = {}, std::string_view second = {});

struct JobResult;

// The message a job's outcome reports, with the path it names: the result's error path,
// or `jobPath` where the result names none. Empty for an empty path, which reports nothing.
std::string MessageFor(const JobResult& result, std::string_view jobPath = {});

}  // namespace kerro

#endif  // RC_INVOKED
