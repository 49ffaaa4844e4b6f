#pragma once

#include "support/LocalizedError.h"

namespace sayloom {

// A body that is not JSON, or JSON of another shape than expected (a key missing, a value of the
// wrong type). The description is the general one a user may see; `detail` says what exactly
// was wrong, for the log.
class JSONDecodingError final : public LocalizedError {
public:
    enum class Kind { dataCorrupted, keyNotFound, typeMismatch };

    JSONDecodingError(Kind kind, QString detail) : kind_(kind), detail_(std::move(detail)) {}

    Kind kind() const { return kind_; }
    const QString& detail() const { return detail_; }
    QString localizedDescription() const override;

private:
    Kind kind_;
    QString detail_;
};

} // namespace sayloom
