#include "mask/updatethread.h"

#include "mask/markupmask.h"
#include "markup/markuptree.h"

UpdateThread::UpdateThread(MarkupMask *mask)
    : mask(mask)
{
}

void UpdateThread::run()
{
    // The stop request is cleared by the mask before start(), not here: clearing
    // it here could swallow a stop that arrived before the thread got going.
    // Reads only what the mask set before start() and the nodes the snapshot
    // names, never the tree object or the view. The lock is held through the
    // signal too: the mask takes it after every wait, which orders all of this
    // run, the queued emit included, before the mask changes or deletes
    // anything the run touched.
    std::lock_guard<std::mutex> filling(mask->m_fill_mutex);
    if (MarkupTree::fill(mask->m_window_start, MarkupMask::window_size, mask->nodes.get(),
                         mask->m_snapshot, &stop_requested))
        emit update_completed(m_fill_number);
}
