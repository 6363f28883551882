#include "markup/markupstepdecoder.h"

#include "markup/clearmarkscommand.h"
#include "markup/colourcommand.h"
#include "markup/deletemarkupcommand.h"
#include "markup/markcommand.h"
#include "markup/markupeditcommand.h"
#include "markup/markuptree.h"
#include "markup/placemarkupscommand.h"
#include "markup/prunecommand.h"

#include <QDataStream>

EditCommand *MarkupStepDecoder::decode(const QByteArray &record, EditHistory *history,
                                       MarkupTree *tree)
{
    QDataStream in(record);
    in.setVersion(EditCommand::record_stream_version);
    qint8 kind = 0;
    in >> kind;
    if (kind == 'M') {
        qint64 first = 0;
        qint64 last = 0;
        QString description;
        QString type;
        in >> first >> last >> description >> type;
        if (in.status() != QDataStream::Ok)
            return nullptr;
        return new MarkCommand(history, tree, first, last, description,
                               MarkupValueType::from_text(type));
    }
    if (kind == 'X')
        return new ClearMarksCommand(history, tree);
    if (kind == PlaceMarkupsCommand::record_kind)
        return PlaceMarkupsCommand::from_record(in, history, tree);
    QList<int> path;
    in >> path;
    // The root is no markup: every step below names one.
    MarkupNode *node = path.isEmpty() ? nullptr : tree->node_at_path(path);
    if (in.status() != QDataStream::Ok || !node)
        return nullptr;
    switch (kind) {
    case 'D':
        return new DeleteMarkupCommand(history, tree, node);
    case 'P':
        return new PruneCommand(history, tree, node);
    case 'C': {
        QColor foreground;
        QColor background;
        QString text;
        in >> foreground >> background >> text;
        if (in.status() != QDataStream::Ok)
            return nullptr;
        return new ColourCommand(history, tree, node, foreground, background, text);
    }
    case 'E': {
        MarkupEditCommand::Values before;
        MarkupEditCommand::Values after;
        QString text;
        in >> before >> after >> text;
        if (in.status() != QDataStream::Ok)
            return nullptr;
        return new MarkupEditCommand(history, tree, node, before, after, text);
    }
    default:
        return nullptr;
    }
}
