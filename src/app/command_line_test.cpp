#include "app/command_line.h"

#include <gtest/gtest.h>

#include <vector>

namespace kerro {
namespace {

TEST(CommandLine, FirstArgumentThatIsNotASwitchIsTheFile) {
  struct Case {
    const char* name;
    PathStyle style;
    std::vector<std::string> arguments;
    const char* expected;
  };
  const Case cases[] = {
      {"none", PathStyle::Windows, {}, ""},
      {"one path", PathStyle::Windows, {"C:\\A.CE2"}, "C:\\A.CE2"},
      {"path with blanks", PathStyle::Windows, {"C:\\My Files\\A.CE2"}, "C:\\My Files\\A.CE2"},
      {"switches ignored", PathStyle::Windows, {"/dde", "-x", "B.CE2"}, "B.CE2"},
      {"only switches", PathStyle::Windows, {"/p"}, ""},
      {"first path wins", PathStyle::Windows, {"A.CE2", "B.CE2"}, "A.CE2"},
      {"empty argument skipped", PathStyle::Windows, {"", "C.CE2"}, "C.CE2"},
      {"posix absolute path", PathStyle::Posix, {"/home/u/A.CE2"}, "/home/u/A.CE2"},
      {"posix switch", PathStyle::Posix, {"--x", "A.CE2"}, "A.CE2"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(InitialFileFromArguments(c.arguments, c.style), c.expected);
  }
}

TEST(CommandLine, HelpAndVersionAreAskedForAnywhereElseTheDialogRuns) {
  struct Case {
    std::vector<std::string> arguments;
    ProgramRequest expected;
  };
  const Case cases[] = {
      {{}, ProgramRequest::RunDialog},
      {{"A.CE2"}, ProgramRequest::RunDialog},
      {{"--x", "-v", "/h", "--helpme", "-help"}, ProgramRequest::RunDialog},
      {{"--help"}, ProgramRequest::PrintHelp},
      {{"A.CE2", "-h"}, ProgramRequest::PrintHelp},
      {{"--version", "A.CE2"}, ProgramRequest::PrintVersion},
      {{"--version", "--help"}, ProgramRequest::PrintVersion},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.arguments));
    EXPECT_EQ(RequestFromArguments(c.arguments), c.expected);
  }
}

}  // namespace
}  // namespace kerro
