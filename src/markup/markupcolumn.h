#pragma once

// The five values of a markup, in the order of the tree view's columns.
// Plain int constants so they index QModelIndex columns and QVariant arrays
// alike: MarkupColumn::Start, MarkupColumn::count, ...
struct MarkupColumn
{
    enum : int {
        Description = 0,
        Start = 1,
        End = 2,
        Length = 3,
        Repeat = 4
    };
    static constexpr int count = 5;
};
