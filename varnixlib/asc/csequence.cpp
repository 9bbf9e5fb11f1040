#include "varnixlib/asc/csequence.h"

#include <utility>

#include "varnixlib/asc/asctokens.h"
#include "varnixlib/asc/eventtypes.h"

CSequence::CSequence(std::string_view numberToken, std::string_view nameToken, uint32_t m, uint32_t line)
    : Event(EventTypes::flowSequence, m, m, line),
      index(AscTokens::IsMissing(numberToken) ? 65535
                                              : static_cast<uint16_t>(AscTokens::IntValue(numberToken))),
      name(nameToken) {}

CSequence::CSequence(uint16_t type, uint32_t start, uint32_t line, uint16_t index, std::string name)
    : Event(type, start, start, line), index(index), name(std::move(name)) {}

