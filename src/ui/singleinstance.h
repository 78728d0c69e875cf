#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

class QLocalServer;

namespace velquin {

// Keeps the program to one running copy per user, so that one process alone writes the user's
// journals. The first copy listens on a local socket of the user's own; a later one tells it to
// bring its window forward and then leaves.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    // The socket of the user: in $XDG_RUNTIME_DIR (the user's own folder) where it is set, else
    // in the temporary folder under a name with the user id.
    static QString defaultName();

    explicit SingleInstance(QString name = defaultName(), QObject* parent = nullptr);
    ~SingleInstance() override;

    enum class Role {
        First,       // this copy listens now and hears of later ones (showRequested)
        Told,        // another copy runs and has brought its window forward: leave with 0
        NoAnswer,    // another copy holds the socket but did not answer
        Unavailable, // no socket could be had; this copy runs on its own
    };
    // Tells a running copy (with the paths this one was started with), or else becomes the one
    // that listens; a socket left behind by a copy that ended without removing it is replaced.
    Role start(const QStringList& paths = {});

signals:
    // A later copy asked for the window; the receiver shows it (the answer goes back after).
    void showRequested();
    // A later copy was started with these paths (absolute); emitted before showRequested.
    void openRequested(const QStringList& paths);

private:
    Role tellRunning(const QStringList& paths) const;
    void answer();

    QString name_;
    QLocalServer* server_ = nullptr;
};

} // namespace velquin
