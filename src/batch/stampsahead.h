#pragma once

#include "platform/filesystem.h"

#include <atomic>
#include <functional>
#include <thread>
#include <vector>

// What stands at each name of a phase, looked at on a second core a few files ahead of the moves,
// so that the look just before each move costs the moves no time. A look waits until the move
// `Ahead` files earlier is under way: what a move is checked against is at most that many moves old.
class StampsAhead
{
public:
    static constexpr quint32 Ahead = 64;

    // `look(index)` tells what stands at the name at `index`, and runs on a thread of its own.
    StampsAhead(quint32 count, std::function<FileStamp(quint32 index)> look);
    // Stops the looks, even in mid-phase, and waits for the one under way.
    ~StampsAhead();
    StampsAhead(const StampsAhead &) = delete;
    StampsAhead &operator=(const StampsAhead &) = delete;

    // What the look at `index` saw; indexes are taken in order, each once.
    FileStamp take(quint32 index);

private:
    void lookAll(quint32 count);

    std::function<FileStamp(quint32)> m_look;
    std::vector<FileStamp> m_ring;
    std::atomic<quint32> m_looked{0}; // looks done
    std::atomic<quint32> m_taken{0};  // looks taken
    // Counts the times half the ring has been taken: the looker sleeps on it while the ring is full.
    std::atomic<quint32> m_room{0};
    std::atomic<bool> m_stopped{false};
    std::thread m_looker;
};
