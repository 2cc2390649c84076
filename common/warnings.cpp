#include "warnings.hpp"

#include <utility>

#include "diagnostic.hpp"

namespace heightio {
namespace {

struct Warning {
  std::string text;
  WarningSource source = nullptr;  // when set, it gives the text
};

std::vector<Warning>& warnings() {
  static std::vector<Warning> kept;
  return kept;
}

}  // namespace

void add_warning(std::string text) {
  warnings().push_back({std::move(text), nullptr});
}

void add_warning_source(WarningSource source) {
  warnings().push_back({{}, source});
}

std::vector<std::string> warning_texts() {
  std::vector<std::string> texts;
  for (const Warning& warning : warnings()) {
    std::string text = warning.source != nullptr ? warning.source() : warning.text;
    if (!text.empty()) texts.push_back(std::move(text));
  }
  return texts;
}

void write_warnings() {
  if (warnings().empty()) return;
  if (diagnostics_wanted()) {
    for (const std::string& text : warning_texts()) show_diagnostic(explain_warning(text));
  }
  warnings().clear();
}

}  // namespace heightio
