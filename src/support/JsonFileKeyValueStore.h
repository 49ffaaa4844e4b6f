#pragma once

#include "support/KeyValueStore.h"
#include "support/Logger.h"

#include <QMap>

namespace sayloom {

// The user-defaults store on disk: one JSON object per file, written atomically on every change.
// JSON keeps strings, Booleans, integers and string arrays apart; dates are stored as
// {"date": "<ISO 8601 UTC>"}. Each write merges into what is on disk, so another of our
// processes' changes to other keys are kept. A file that cannot be parsed is never overwritten:
// it is moved aside (".corrupt" suffix) before the first write, and an error is logged.
class JsonFileKeyValueStore final : public KeyValueStore {
public:
    explicit JsonFileKeyValueStore(QString path);

    // $XDG_CONFIG_HOME/sayloom/settings.json (~/.config/sayloom/settings.json).
    static QString defaultPath();

    std::optional<StoredValue> value(const QString& key) const override;
    void setValue(const QString& key, const StoredValue& value) override;
    void remove(const QString& key) override;

    const QString& path() const { return path_; }

    using Map = QMap<QString, StoredValue>;
    // The values of a file's bytes; a value of a type we do not store is left out (it reads as
    // absent). Nothing, with `problem` saying why, when the bytes are not a JSON object.
    static std::optional<Map> parse(const QByteArray& bytes, QString* problem = nullptr);
    static QByteArray serialize(const Map& values);

private:
    enum class LoadResult { loaded, missing, unreadable };

    LoadResult load(Map& into) const;
    void update(const QString& key, const std::optional<StoredValue>& value);

    QString path_;
    Map values_;
    bool setAsideBeforeWrite_ = false;
    Logger log_{QStringLiteral("appSettings")};
};

} // namespace sayloom
