#pragma once

#include <QImage>
#include <QString>
#include <QWidget>

namespace sayloom {

// The user's picture in a circle, or a letter in a circle while there is none.
class AvatarView final : public QWidget {
    Q_OBJECT

public:
    explicit AvatarView(int diameter, QWidget* parent = nullptr);

    // `picture`: an image file's bytes, or empty for the letter.
    void setAvatar(const QByteArray& picture, const QString& letter);
    bool showsPicture() const { return !picture_.isNull(); }
    const QString& letter() const { return letter_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage picture_;
    QString letter_;
};

} // namespace sayloom
