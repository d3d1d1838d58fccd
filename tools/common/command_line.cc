#include "tools/common/command_line.h"

namespace sondrel::tools {
namespace {

class UsageFirst : public CLI::Formatter {
 public:
  explicit UsageFirst(std::string usage) : usage_(std::move(usage)) {}
  std::string make_usage(const CLI::App*, std::string) const override { return usage_ + "\n"; }

 private:
  std::string usage_;
};

}  // namespace

std::unique_ptr<CLI::App> MakeApp(const std::string& program, const std::string& usage) {
  auto app = std::make_unique<CLI::App>("", program);
  app->formatter(std::make_shared<UsageFirst>(usage));
  app->get_formatter()->column_width(34);
  return app;
}

ParseOutcome Parse(CLI::App& app, const std::vector<std::string>& arguments) {
  // CLI11 takes the arguments last first.
  std::vector<std::string> reversed(arguments.rbegin(), arguments.rend());
  ParseOutcome outcome;
  try {
    app.parse(reversed);
    outcome.parsed = true;
  } catch (const CLI::CallForHelp&) {
    outcome.help = true;
  } catch (const CLI::CallForAllHelp&) {
    outcome.help = true;
  } catch (const CLI::CallForVersion&) {
    outcome.version = true;
  } catch (const CLI::ParseError& error) {
    outcome.error = error.what();
  }
  return outcome;
}

}  // namespace sondrel::tools
