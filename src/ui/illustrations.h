#pragma once

#include <QStringList>
#include <QWidget>

namespace velquin {

// The small drawings on the criterion pages: source items on the left, arrows, and the
// folders they are sorted into on the right. Painted, so they scale with the font and need no
// image files.
class Illustration : public QWidget {
public:
    struct Group {
        QStringList sources; // item names drawn on the left
        QString target;      // the folder they go into
    };
    enum class Item { File, Folder };

    Illustration(QWidget* parent, Item sourceKind, QList<Group> groups);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // Where the arrows start: past the widest name on the left, at 110 pixels or more.
    qreal arrowStart() const;

    Item sourceKind_;
    QList<Group> groups_;
};

// A caption drawn as one line of text whose "*" characters are red, used as the label of the
// name filter field.
class StarLabel : public QWidget {
public:
    StarLabel(QWidget* parent, const QString& text);
    QString text() const { return text_; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString text_;
};

// The drawings of the file window's pages 0 to 2 (keyword, name, type).
Illustration* keywordIllustration(QWidget* parent);
Illustration* nameIllustration(QWidget* parent);
Illustration* typeIllustration(QWidget* parent);

} // namespace velquin
