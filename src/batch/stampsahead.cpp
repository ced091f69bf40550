#include "batch/stampsahead.h"

namespace {

constexpr quint32 Half = StampsAhead::Ahead / 2;

} // namespace

StampsAhead::StampsAhead(quint32 count, std::function<FileStamp(quint32 index)> look)
    : m_look(std::move(look))
    , m_ring(Ahead)
    , m_looker([this, count] { lookAll(count); })
{
}

StampsAhead::~StampsAhead()
{
    m_stopped.store(true);
    m_room.fetch_add(1);
    m_room.notify_one();
    m_looker.join();
}

void StampsAhead::lookAll(quint32 count)
{
    for (quint32 index = 0; index < count; ++index) {
        // A full ring waits until the moves have taken half of it: one wake per half, not per move.
        for (;;) {
            const quint32 room = m_room.load();
            if (m_stopped.load())
                return;
            if (index - m_taken.load() < Ahead)
                break;
            m_room.wait(room);
        }
        m_ring[index % Ahead] = m_look(index);
        m_looked.store(index + 1);
        m_looked.notify_one();
    }
}

FileStamp StampsAhead::take(quint32 index)
{
    for (quint32 looked = m_looked.load(); looked <= index; looked = m_looked.load())
        m_looked.wait(looked);
    const FileStamp stamp = m_ring[index % Ahead];
    m_taken.store(index + 1);
    if ((index + 1) % Half == 0) {
        m_room.fetch_add(1);
        m_room.notify_one();
    }
    return stamp;
}
