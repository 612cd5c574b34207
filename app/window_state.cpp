#include "app/window_state.h"

namespace actualiz::app {

namespace {

using nlohmann::json;

void DescribeDataControl(const DataControl& data, json& out) {
  out["DatabaseName"] = data.DatabaseName();
  out["RecordSource"] = data.RecordSource();
  const engine::Recordset* records = data.OpenRecordset();
  if (records == nullptr) {
    out["Recordset"] = nullptr;
    return;
  }
  try {
    out["EOF"] = records->Eof();
    out["BOF"] = records->Bof();
    out["RecordCount"] = records->RecordCount();
  } catch (const Error& e) {
    // The state is still written; the record set's own failure is shown in it.
    out["RecordsetError"] = {{"number", e.Number()}, {"text", e.Text()}};
  }
  json fields = json::object();
  for (const TextBox* box : data.BoundBoxes()) fields[box->DataField()] = box->Text();
  out["fields"] = fields;
}

json DescribeControl(const Control& control) {
  json out;
  out["kind"] = KindName(control.Kind());
  out["container"] = control.Container() ? json(control.Container()->FullName()) : json(nullptr);
  out["visible"] = control.Visible();
  const Rect& rect = control.Geometry();
  out["position"] = {rect.left, rect.top, rect.width, rect.height};
  switch (control.Kind()) {
    case ControlKind::kCommandButton:
    case ControlKind::kLabel:
    case ControlKind::kFrame:
      out["Caption"] = control.Caption();
      break;
    case ControlKind::kListBox: {
      const auto& list = static_cast<const ListBox&>(control);
      out["items"] = list.Items();
      out["ListIndex"] = list.ListIndex();
      out["Text"] = list.Text();
      break;
    }
    case ControlKind::kTextBox: {
      const auto& box = static_cast<const TextBox&>(control);
      out["Text"] = box.Text();
      if (!box.DataField().empty()) out["DataField"] = box.DataField();
      break;
    }
    case ControlKind::kProgressBar: {
      const auto& bar = static_cast<const ProgressBar&>(control);
      out["Max"] = bar.Max();
      out["Value"] = bar.Value();
      break;
    }
    case ControlKind::kDriveListBox:
      out["Drive"] = static_cast<const DriveListBox&>(control).Drive();
      break;
    case ControlKind::kDirListBox:
      out["Path"] = static_cast<const DirListBox&>(control).Path();
      break;
    case ControlKind::kDataControl:
      out["Caption"] = control.Caption();
      DescribeDataControl(static_cast<const DataControl&>(control), out);
      break;
  }
  return out;
}

}  // namespace

json RunLogState(const RunLog& log) {
  json failures = json::array();
  for (const Failure& f : log.Failures()) {
    failures.push_back({{"handler", f.handler},
                        {"statement", f.statement},
                        {"database", f.database},
                        {"number", f.number},
                        {"text", f.text},
                        {"context", f.context},
                        {"passedOver", f.passed_over}});
  }
  json changes = json::array();
  for (const Change& c : log.Changes()) {
    changes.push_back({{"handler", c.handler},
                       {"database", c.database},
                       {"kind", KindText(c.kind)},
                       {"object", c.ObjectText()}});
  }
  return {{"failures", failures}, {"changes", changes}};
}

json WindowState(const Actualiz& window) {
  json controls = json::object();
  for (const Control* control : window.Controls()) {
    controls[control->FullName()] = DescribeControl(*control);
  }
  json messages = json::array();
  for (const Message& message : window.Messages()) {
    messages.push_back({{"look", platform::LookName(message.look)}, {"text", message.text}});
  }
  return {{"caption", Actualiz::kCaption}, {"MousePointer", window.MousePointer()},
          {"ended", window.Ended()},       {"controls", controls},
          {"messages", messages},          {"runLog", RunLogState(window.Log())}};
}

}  // namespace actualiz::app
