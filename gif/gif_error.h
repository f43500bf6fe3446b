#pragma once

#include "base/error.h"

#include <functional>
#include <string>

namespace velmora {

// Failures of the GIF codec and the palette builder. The message is one of
// the codec's fixed texts and is shown to the user as it is.
class GIFException : public Error {
public:
    explicit GIFException(const std::string& message)
        : Error(message)
    {
    }
};

// Receives the codec's warnings (damaged but readable data). Without a
// handler warnings have no visible effect and the work goes on.
using GIFWarningHandler = std::function<void(const std::string& message)>;

} // namespace velmora
