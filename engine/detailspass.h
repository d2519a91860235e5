#pragma once

#include <QByteArray>
#include <QObject>
#include <QSet>
#include <QStringList>

#include <functional>

class QEventLoop;

// The listed files' details (size and time), asked for one at a time in the
// background while the rows are already usable: first the names a sync
// waits for, then the rows the operator sees, then the rest in row order.
// The camera works on the next request while an answer is taken in. Its
// owner sends the requests and keeps the rows; the pass decides what to ask
// next and counts.
class DetailsPass : public QObject
{
    Q_OBJECT

public:
    // What the pass needs of its owner.
    struct Owner
    {
        // The name is still listed and its details are not known.
        std::function<bool(const QString& name)> wants;
        // The name in a row; empty past the last one.
        std::function<QString(int row)> nameAt;
        // Sends the info request for the name; its id.
        std::function<int(const QString& name)> ask;
        // An answer for the name (any status: an error page holds nothing).
        std::function<void(const QString& name, const QByteArray& reply)> take;
    };

    explicit DetailsPass(Owner owner, QObject* parent = nullptr);

    // A pass over these names, from the first; `problems` are the listing's
    // own, told when it ends.
    void start(const QStringList& names, const QStringList& problems);
    bool isRunning() const { return running; }
    // Asks for nothing more; returns once the request under way is answered.
    void end();
    // Rows the operator sees: asked for before the rest.
    void prefer(int firstRow, int lastRow);

    // These before all others; firstReady() once they are known (at once
    // when none is pending). Starts a pass over them if none runs.
    void waitFor(const QStringList& names);
    bool isWaiting() const { return waiting; }
    // The sync that waited will not start (firstAbandoned()); the pass goes on.
    void abandonWaiting();

    // While held, nothing is asked; hold() returns once the request under
    // way is answered. They nest.
    void hold();
    void release();

    // The answer to request `id`; one that is not this pass's is left alone.
    void answered(int id, const QByteArray& body, bool ok, int status, bool silent);
    // The name's details came another way: it need not be asked for.
    void fetchedElsewhere(const QString& name);

signals:
    void progress(int done, int total);
    void ended(const QStringList& problems);
    // What waitFor() named is known, or could not be: a sync can start.
    void firstReady();
    // end() came before firstReady(): the sync that waited will not start.
    void firstAbandoned();

private:
    void askNext();
    // The name to ask for next ("" when none is left), taken off the list.
    QString next();
    void send(const QString& name);
    void finish();
    void leaveWaiting();
    // Until the request under way (if any) has been answered.
    void waitForInFlight();

    Owner owner;
    bool running = false;
    QStringList pending; // names still to ask for, in row order
    QSet<QString> pendingSet;
    QString inFlight;
    int inFlightId = 0;
    int total = 0;
    int done = 0;
    int failed = 0;
    int missing = 0; // not asked for: the camera stopped answering
    int holds = 0;
    QStringList problems;
    QStringList first;
    bool waiting = false;
    int preferredFirst = -1;
    int preferredLast = -1;
    QEventLoop* inFlightWait = nullptr;
};
