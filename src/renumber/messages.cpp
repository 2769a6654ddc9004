#include "renumber/messages.h"

#include "renumber/renumber_job.h"

namespace kerro {

std::string_view MessageText(int id) {
  switch (id) {
    case kMessageReadError:
      return KERRO_TEXT_READ_ERROR;
    case kMessageInitialOutOfRange:
      return KERRO_TEXT_INITIAL_OUT_OF_RANGE;
    case kMessageStepOutOfRange:
      return KERRO_TEXT_STEP_OUT_OF_RANGE;
    case kMessageFinished:
      return KERRO_TEXT_FINISHED;
    case kMessageWriteError:
      return KERRO_TEXT_WRITE_ERROR;
    case kTextProgramName:
      return KERRO_TEXT_PROGRAM_NAME;
    case kTextFileType:
      return KERRO_TEXT_FILE_TYPE;
    case kMessageOutOfNumbers:
      return KERRO_TEXT_OUT_OF_NUMBERS;
    default:
      return {};
  }
}

std::string FormatMessage(int id, std::string_view argument, std::string_view second) {
  const std::string_view text = MessageText(id);
  std::string result;
  for (size_t at = 0; at < text.size(); ++at) {
    if (text[at] == '%' && at + 1 < text.size() && (text[at + 1] == '1' || text[at + 1] == '2')) {
      result.append(text[at + 1] == '1' ? argument : second);
      ++at;
    } else {
      result.push_back(text[at]);
    }
  }
  return result;
}

std::string MessageFor(const JobResult& result, std::string_view jobPath) {
  const std::string_view path = result.errorPath.empty() ? jobPath : result.errorPath;
  switch (result.outcome) {
    case JobOutcome::InitialOutOfRange:
      return FormatMessage(kMessageInitialOutOfRange);
    case JobOutcome::StepOutOfRange:
      return FormatMessage(kMessageStepOutOfRange);
    case JobOutcome::EmptyPath:
    case JobOutcome::SharedFile:  // only kerro-cli can ask for it, and says which files
      return {};
    case JobOutcome::ReadError:
      return FormatMessage(kMessageReadError, path);
    case JobOutcome::WriteError:
      return FormatMessage(kMessageWriteError, path);
    case JobOutcome::OutOfNumbers:
      return FormatMessage(kMessageOutOfNumbers, path,
                           result.shortage ? std::string_view(result.shortage->prefix) : "");
    case JobOutcome::Finished:
      return FormatMessage(kMessageFinished);
  }
  return {};
}

}  // namespace kerro
