// Every handler of the window by name, in one place: what a click, a step of
// a script or the view raises by name.
#include <utility>

#include "app/actualiz.h"

namespace actualiz::app {

namespace {

using Handler = void (Actualiz::*)();

const std::vector<std::pair<std::string, Handler>>& Table() {
  static const std::vector<std::pair<std::string, Handler>> table = {
      {"Form_Activate", &Actualiz::Form_Activate},
      {"Drive1_Change", &Actualiz::Drive1_Change},
      {"Dir1_Change", &Actualiz::Dir1_Change},
      {"Command1_Click", &Actualiz::Command1_Click},
      {"Command2_Click", &Actualiz::Command2_Click},
      {"Command3_Click", &Actualiz::Command3_Click},
      {"Command4_Click", &Actualiz::Command4_Click},
      {"Command5_Click", &Actualiz::Command5_Click},
      {"Command6_Click", &Actualiz::Command6_Click},
      {"Command7_Click", &Actualiz::Command7_Click},
      {"Command8_Click", &Actualiz::Command8_Click},
      {"Command9_Click", &Actualiz::Command9_Click},
      {"Command10_Click", &Actualiz::Command10_Click},
      {"Command11_Click", &Actualiz::Command11_Click},
      {"Command12_Click", &Actualiz::Command12_Click},
      {"Command13_Click", &Actualiz::Command13_Click},
      {"Command14_Click", &Actualiz::Command14_Click},
      {"Command15_Click", &Actualiz::Command15_Click},
      {"Command16_Click", &Actualiz::Command16_Click},
      {"Command17_Click", &Actualiz::Command17_Click},
      {"Command18_Click", &Actualiz::Command18_Click},
      {"Command19_Click", &Actualiz::Command19_Click},
      {"Command20_Click", &Actualiz::Command20_Click},
      {"Command21_Click", &Actualiz::Command21_Click},
      {"Command22_Click", &Actualiz::Command22_Click},
      {"Command23_Click", &Actualiz::Command23_Click},
      {"Command24_Click", &Actualiz::Command24_Click},
      {"Command25_Click", &Actualiz::Command25_Click},
      {"Command26_Click", &Actualiz::Command26_Click},
  };
  return table;
}

}  // namespace

const std::vector<std::string>& Actualiz::HandlerNames() {
  static const std::vector<std::string> names = [] {
    std::vector<std::string> out;
    for (const auto& entry : Table()) out.push_back(entry.first);
    return out;
  }();
  return names;
}

Actualiz::Handler Actualiz::FindHandler(std::string_view name) {
  for (const auto& [handler_name, handler] : Table()) {
    if (handler_name == name) return handler;
  }
  return nullptr;
}

}  // namespace actualiz::app
