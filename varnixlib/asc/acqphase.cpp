#include "varnixlib/asc/acqphase.h"

#include "varnixlib/asc/eventtypes.h"

AcqPhase::AcqPhase(std::string_view phaseToken, uint32_t m, uint32_t line)
    : Event(phaseToken.find("LEARNING") != std::string_view::npos ? EventTypes::phaseLearning
                                                                   : EventTypes::phaseTesting,
            m, m, line) {}
