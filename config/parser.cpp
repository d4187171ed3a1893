#include "config/parser.h"

#include "config/actions.h"
#include "config/grammar.h"
#include "config/scanner.h"

namespace vornboot {

int parseConfiguration(BootConfig& config, InputStream& input, const Diagnostics& diagnostics) {
  config.reset();
  Scanner scanner(input, diagnostics);
  StatementActions actions(config, diagnostics);
  GrammarParser parser(scanner, actions, diagnostics);
  return parser.run();
}

}  // namespace vornboot
