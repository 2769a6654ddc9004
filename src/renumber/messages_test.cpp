#include "renumber/messages.h"

#include <gtest/gtest.h>

#include "renumber/renumber_job.h"

namespace kerro {
namespace {

TEST(StringTable, MessagesWithTheirArgument) {
  EXPECT_EQ(FormatMessage(kMessageReadError, "C:\\A.CE2"), "File read error. \"C:\\A.CE2\"");
  EXPECT_EQ(FormatMessage(kMessageWriteError, "/x/B.CE2"), "File write error. \"/x/B.CE2\"");
  EXPECT_EQ(FormatMessage(kMessageFinished), "Finished");
  EXPECT_EQ(FormatMessage(kMessageInitialOutOfRange), "Initial value is out of range.");
  EXPECT_EQ(FormatMessage(kMessageStepOutOfRange), "Step value is out of range.");
  // An argument that itself holds "%1" is not expanded again.
  EXPECT_EQ(FormatMessage(kMessageReadError, "%1"), "File read error. \"%1\"");
  EXPECT_TRUE(MessageText(101).empty());
}

// Every front end reports a job through this one mapping; the path named is the one the
// job gives, else the job's own.
TEST(StringTable, MessageForEachOutcome) {
  struct Case {
    JobOutcome outcome;
    std::string errorPath;
    std::string expected;
  };
  const Case cases[] = {
      {JobOutcome::InitialOutOfRange, "", "Initial value is out of range."},
      {JobOutcome::StepOutOfRange, "", "Step value is out of range."},
      {JobOutcome::EmptyPath, "", ""},
      {JobOutcome::ReadError, "", "File read error. \"A.CE2\""},
      {JobOutcome::WriteError, "A.CE2-01", "File write error. \"A.CE2-01\""},
      {JobOutcome::WriteError, "", "File write error. \"A.CE2\""},
      {JobOutcome::Finished, "", "Finished"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expected);
    JobResult result;
    result.outcome = c.outcome;
    result.errorPath = c.errorPath;
    EXPECT_EQ(MessageFor(result, "A.CE2"), c.expected);
  }
}

}  // namespace
}  // namespace kerro
