// The state of the whole window as JSON, for scripts and reports.
//
//   {"caption": "Añade Pomerd", "MousePointer": 0, "ended": false,
//    "controls": {"List6": {"kind": "ListBox", "container": "Frame7",
//                           "visible": true, "items": [...], "ListIndex": -1,
//                           "Text": ""}, ...},
//    "messages": [{"look": "critical", "text": "..."}],
//    "runLog": {"failures": [{"handler", "statement", "database", "number",
//                             "text", "context", "passedOver"}],
//               "changes": [{"handler", "database", "kind", "object"}]}}
//
// Controls appear by their full name ("List1(3)"). Buttons, labels, frames
// and data controls carry "Caption"; text boxes "Text" (and "DataField"
// when bound); progress bars "Max" and "Value"; the drive list "Drive" and
// the directory list "Path"; data controls "DatabaseName", "RecordSource"
// and, with a record set, "EOF", "BOF", "RecordCount" and "fields" (the
// bound text boxes' values by field), else "Recordset": null.
#pragma once

#include <nlohmann/json.hpp>

#include "app/actualiz.h"

namespace actualiz::app {

nlohmann::json WindowState(const Actualiz& window);
nlohmann::json RunLogState(const RunLog& log);

}  // namespace actualiz::app
