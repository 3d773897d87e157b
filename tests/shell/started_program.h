// A resident program started over a small drive, its search window at
// hand, with the file opener and the message boxes answered by the test.
#pragma once

#include <QtTest>

#include "db/memory_db.h"
#include "shell/uiform.h"
#include "tests/shell/opened_urls.h"
#include "tests/shell/program_under_test.h"
#include "tests/shell/shell_environment.h"

namespace varnoke::testing {

struct TStartedProgram {
  explicit TStartedProgram(const std::vector<std::string>& files) {
    for (const std::string& file : files)
      Env.MakeFile(file);
    Under = std::make_unique<TProgramUnderTest>();
    if (!Under->Program.StartUp()) qFatal("the program did not start");
  }
  ~TStartedProgram() { Under->Program.ShutDown(); }

  shell::TFormui& Form() { return Under->Program.Form(); }
  TMemoryDB& Db() { return *Under->Program.MemoryDB; }
  TFakeDesktop& Desktop() { return Under->Desktop; }
  const shell::TPopupMessages& Messages() { return Under->Program.Messages; }

  TShellEnvironment Env;
  TBoxAnswers Boxes;
  TOpenedUrls Opened;
  std::unique_ptr<TProgramUnderTest> Under;
};

}  // namespace varnoke::testing
