#include "updatethread.h"

#include "markupmask.h"

UpdateThread::UpdateThread(MarkupMask *mask)
    : mask(mask)
{
}

void UpdateThread::run()
{
    // stop_requested is cleared by the mask before start(), not here: clearing
    // it here could swallow a stop that arrived before the thread got going.
    MarkupTree *tree = mask->m_tree.data();
    if (!tree)
        return;
    if (tree->fill(mask->m_window_start, MarkupMask::window_size, mask->m_nodes.get(),
                   mask->m_snapshot, &stop_requested))
        emit update_completed();
}
