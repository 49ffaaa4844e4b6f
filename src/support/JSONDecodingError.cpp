#include "support/JSONDecodingError.h"

namespace sayloom {

QString JSONDecodingError::localizedDescription() const {
    if (kind_ == Kind::keyNotFound)
        return QStringLiteral("The data couldn’t be read because it is missing.");
    return QStringLiteral("The data couldn’t be read because it isn’t in the correct format.");
}

} // namespace sayloom
