#include "config/parser.h"

#include "config/actions.h"
#include "config/grammar.h"
#include "config/parse_session.h"
#include "config/scanner.h"

namespace vornboot {

int parseConfiguration(BootConfig& config, InputStream& input, std::FILE* diagnostics) {
  config.reset();
  ParseSession session(config, diagnostics);
  Scanner scanner(session, input);
  StatementActions actions(session);
  GrammarParser parser(session, scanner, actions);
  return parser.run();
}

}  // namespace vornboot
