// The relation catalogue "C:\Zarade\relacion.mdb", table `relacion`, as the
// relation chain reads and writes it through `Data4`.
//
// One row stands for one field pair of one model relation; a relation of n
// pairs has n rows that repeat its name (`nombrerel`), its tables (`tabla`,
// `tablafor`) and its attribute bits as decimal text (`atributos`), each with
// its own pair (`campo`, `campofor`). Rows have no key: the rows of a relation
// are found by its name, in the order they were written. The bound text boxes
// `Text6(0)` to `Text6(5)` show those six fields of the view's current row.
#pragma once

#include <string>
#include <string_view>

#include "app/controls.h"

namespace actualiz::app::relations {

// The record source that shows the whole catalogue.
inline constexpr const char* kWholeCatalogue = "relacion";

// The record source that narrows the view to the rows of the relation `name`.
// Apostrophes inside the name are doubled, so every name is carried as it is.
std::string RowsOfRelation(std::string_view name);

// Deletes every row the view of `data` shows; rows outside the view stay.
// Does nothing on an empty view. Raises 91 when `data` has no record set.
void EmptyView(DataControl& data);

}  // namespace actualiz::app::relations
