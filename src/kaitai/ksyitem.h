#pragma once

#include <QString>

#include <memory>
#include <vector>

// One parsed thing: a field, an array element, an array or an instance, with
// its place in the file. Items nest as the template nests: a user type's
// fields under it, an array's elements ("chunks[0]", ...) under the array.
struct KsyItem
{
    // The field id, or "id[n]" for an array element.
    QString name;
    // The value as shown ("640", "truecolor (2)", "\"IHDR\""); empty for
    // structs and arrays.
    QString value;
    // A user type's object as its type's -webide-representation names it
    // ("IHDR"); empty when the type gives none.
    QString representation;
    // What colours the markup: a user type's name, or the kind of scalar
    // ("integer", "string", "bytes", "enum", "float", "boolean", "array").
    QString type;
    // The field's `doc:` (its type's when the field has none); shares the
    // template's text, so the elements of an array add no copies.
    QString doc;
    // Absolute file offsets [start, end); -1 both when the item has no place
    // in the file (it was read from decoded bytes).
    qint64 start = -1;
    qint64 end = -1;
    bool is_instance = false;
    bool is_scalar = false;
    // An instance that could not be computed; its value says why
    // ("n/a: division by zero in '4 / a'").
    bool unavailable = false;
    // Read from bytes a `process:` decoded: no place in the file of its own.
    bool decoded = false;
    std::vector<std::unique_ptr<KsyItem>> children;

    bool has_range() const { return start >= 0 && end > start; }
};
