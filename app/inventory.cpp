// The window's controls with their design values: kind, caption or text,
// container, position and size in twips, visibility. Positions inside a
// frame are relative to that frame. The progress panel lives in the hidden
// frame Frame9; everything right of x = 4245 or below y = 2235 lies outside
// the window's opening size. A few positions differ from the first design by
// a few pixels, so that every caption is whole at the window's font and no
// two controls shown cover each other; docs/window.md lists them.
#include <memory>
#include <utility>

#include "app/actualiz.h"

namespace actualiz::app {

namespace {

template <class T, class... Args>
std::unique_ptr<T> Make(Args&&... args) {
  return std::make_unique<T>(std::forward<Args>(args)...);
}

// A control array from its members; each keeps the index it was built with.
template <class T>
void AddMember(ControlArray<T>& array, std::unique_ptr<T> member) {
  const int index = member->Index();
  array.Add(index, std::move(member));
}

template <class T, class... Members>
ControlArray<T> Array(std::unique_ptr<Members>... members) {
  ControlArray<T> out;
  (AddMember<T>(out, std::move(members)), ...);
  return out;
}

constexpr bool kHidden = false;
constexpr const char* kStatusNote =
    "En el label4 hay que meter el estado de lo que se esta haciendo";

}  // namespace

Actualiz::Actualiz(Environment env)
    : Frame1(Array<Frame>(
          Make<Frame>("Frame1", 0, "Base de Datos Origen", Rect{105, 3075, 7095, 615}, nullptr),
          Make<Frame>("Frame1", 1, "Directorio de Datos", Rect{105, 2490, 6390, 585}, nullptr))),
      Frame2(Array<Frame>(
          Make<Frame>("Frame2", 0, "Campos Base Origen", Rect{2715, 4470, 2820, 1185}, nullptr),
          Make<Frame>("Frame2", 1, "Campos Para Añadir", Rect{5610, 4470, 2820, 1185}, nullptr),
          Make<Frame>("Frame2", 2, "BBDD Indices", Rect{10080, 1425, 1455, 1620}, nullptr),
          Make<Frame>("Frame2", 3, "BBDD Rel", Rect{11610, 195, 3390, 1485}, nullptr))),
      Frame11(Array<Frame>(
          Make<Frame>("Frame11", 0, "Relaciones Origen", Rect{11535, 2235, 2910, 1200}, nullptr),
          Make<Frame>("Frame11", 1, "Relaciones Destno", Rect{11610, 3570, 2580, 1200}, nullptr),
          Make<Frame>("Frame11", 2, "Consultas Destino", Rect{8910, 5775, 1515, 1200}, nullptr),
          Make<Frame>("Frame11", 3, "Campos Consulta Modelo", Rect{9000, 7005, 2790, 1200},
                      nullptr),
          Make<Frame>("Frame11", 4, "Consultas Origen", Rect{10485, 5805, 1455, 1200}, nullptr))),
      Frame3("Frame3", -1, "Campos Base Destino", Rect{2715, 5715, 2760, 1215}, nullptr),
      Frame4("Frame4", -1, "Tablas Origen", Rect{105, 4470, 1260, 1185}, nullptr),
      Frame5("Frame5", -1, "Tablas Destino", Rect{120, 5685, 1290, 1260}, nullptr),
      Frame6("Frame6", -1, "Añadir Nueva", Rect{1410, 4470, 1215, 1185}, nullptr),
      Frame7("Frame7", -1, "Bases Viejas", Rect{8760, 30, 1245, 1290}, nullptr),
      Frame8("Frame8", -1, "Bases Modelo", Rect{7440, 15, 1245, 1305}, nullptr),
      Frame9("Frame9", -1, "Estado Transformación", Rect{4335, 120, 2850, 2100}, nullptr, kHidden),
      Frame10("Frame10", -1, "Bases Añadir", Rect{7545, 1320, 1245, 1305}, nullptr),
      Frame12("Frame12", -1, "Tablas Origen", Rect{8820, 1380, 1260, 1185}, nullptr),
      Frame13("Frame13", -1, "", Rect{765, 555, 1950, 1500}, &Frame9),
      Drive1("Drive1", Rect{60, 105, 3030, 315}, nullptr),
      Dir1("Dir1", Rect{60, 465, 3000, 1665}, nullptr),
      Command1("Command1", -1, "SEL", Rect{6420, 285, 585, 240}, &Frame1(0)),
      Command2("Command2", -1, "Lista de Campos", Rect{2895, 3690, 1275, 400}, nullptr),
      Command3("Command3", -1, "Llenar DBGRID", Rect{4245, 3690, 1275, 400}, nullptr),
      Command4("Command4", -1, "Añadir Campo", Rect{6960, 3690, 1275, 400}, nullptr),
      Command5("Command5", -1, "Borrar Campos", Rect{8310, 3690, 1140, 400}, nullptr),
      Command6("Command6", -1, "Lista de Tablas", Rect{195, 3690, 1275, 400}, nullptr),
      Command7("Command7", -1, "SELECCIONAR", Rect{6420, 285, 1545, 240}, &Frame1(1)),
      Command8("Command8", -1, "Igualar BBDD", Rect{1545, 3690, 1275, 400}, nullptr),
      Command9("Command9", -1, "Crear Tabla", Rect{5610, 3690, 1275, 400}, nullptr),
      Command10("Command10", -1, "Lista Campos Origen", Rect{5715, 6075, 1275, 585}, nullptr),
      Command11("Command11", -1, "Lista Campos Destino", Rect{7095, 6060, 1275, 585}, nullptr),
      Command12("Command12", -1, "Recorrer Tablas", Rect{1680, 6015, 855, 540}, nullptr, kHidden),
      Command13("Command13", -1, "Transformar", Rect{3210, 1320, 1005, 375}, nullptr, kHidden),
      Command14("Command14", -1, "Salir", Rect{3210, 1785, 1005, 375}, nullptr),
      Command15("Command15", -1, "Bases Añadir", Rect{7485, 2685, 1215, 315}, nullptr),
      Command16("Command16", -1, "Copia los indices", Rect{9585, 4755, 1920, 480}, nullptr),
      Command17("Command17", -1, "Lista de Indices Destino", Rect{9585, 3165, 1920, 480}, nullptr),
      Command18("Command18", -1, "Borra los indices", Rect{9585, 3705, 1920, 480}, nullptr),
      Command19("Command19", -1, "Lista de Indices Modelo", Rect{9585, 4230, 1920, 480}, nullptr),
      Command20("Command20", -1, "Borrar Relacion", Rect{12570, 5760, 1785, 345}, nullptr),
      Command21("Command21", -1, "Crea Relacion", Rect{12630, 5370, 1650, 330}, nullptr),
      Command22("Command22", -1, "Lista Relaciones", Rect{12630, 4980, 1650, 330}, nullptr),
      Command23("Command23", -1, "Iguala Consultas", Rect{10965, 8370, 1575, 285}, nullptr),
      Command24("Command24", -1, "Lista de Consultas", Rect{8730, 8340, 1680, 300}, nullptr),
      Command25("Command25", -1, "Transformar", Rect{3210, 765, 975, 390}, nullptr, kHidden),
      Command26("Command26", -1, "Transformar", Rect{3210, 195, 975, 390}, nullptr),
      Label1("Label1", "Bases:", Rect{180, 600, 510, 195}, &Frame9),
      Label2("Label2", "Tablas:", Rect{165, 837, 525, 195}, &Frame9),
      Label3("Label3", "Campos:", Rect{30, 1074, 660, 195}, &Frame9),
      Label4("Label4", "", Rect{1335, 255, 60, 195}, &Frame9),
      Label5("Label5", kStatusNote, Rect{2145, 4155, 4710, 195}, nullptr, kHidden),
      Label6("Label6", "Indices:", Rect{120, 1311, 570, 195}, &Frame9),
      Label7("Label7", "Relac.:", Rect{180, 1548, 510, 195}, &Frame9),
      Label8("Label8", "Consul.:", Rect{90, 1785, 600, 195}, &Frame9),
      Bar1("Bar1", Rect{60, 45, 1800, 195}, &Frame13),
      Bar2("Bar2", Rect{60, 285, 1800, 195}, &Frame13),
      Bar3("Bar3", Rect{60, 525, 1800, 195}, &Frame13),
      Bar4("Bar4", Rect{60, 780, 1800, 195}, &Frame13),
      Bar5("Bar5", Rect{60, 1020, 1800, 195}, &Frame13),
      Bar6("Bar6", Rect{60, 1260, 1800, 195}, &Frame13),
      List2("List2", -1, Rect{90, 270, 1050, 840}, &Frame4),
      List3("List3", -1, Rect{75, 255, 1095, 840}, &Frame5),
      List4("List4", -1, Rect{90, 270, 1050, 840}, &Frame6),
      List6("List6", -1, Rect{45, 180, 1140, 1035}, &Frame7),
      List7("List7", -1, Rect{45, 180, 1140, 1035}, &Frame8),
      List8("List8", -1, Rect{45, 180, 1140, 1035}, &Frame10),
      List10("List10", -1, Rect{90, 270, 1050, 840}, &Frame12),
      List1(Array<ListBox>(Make<ListBox>("List1", 0, Rect{135, 270, 825, 840}, &Frame2(0)),
                           Make<ListBox>("List1", 1, Rect{1050, 270, 765, 840}, &Frame2(0)),
                           Make<ListBox>("List1", 2, Rect{1875, 270, 765, 840}, &Frame2(0)),
                           Make<ListBox>("List1", 3, Rect{135, 270, 825, 840}, &Frame2(1)),
                           Make<ListBox>("List1", 4, Rect{1050, 270, 765, 840}, &Frame2(1)),
                           Make<ListBox>("List1", 5, Rect{1875, 270, 765, 840}, &Frame2(1)))),
      List5(Array<ListBox>(Make<ListBox>("List5", 0, Rect{120, 285, 825, 840}, &Frame3),
                           Make<ListBox>("List5", 1, Rect{1005, 285, 825, 840}, &Frame3),
                           Make<ListBox>("List5", 2, Rect{1875, 285, 825, 840}, &Frame3))),
      List9(Array<ListBox>(Make<ListBox>("List9", 0, Rect{105, 270, 2730, 840}, &Frame11(0)),
                           Make<ListBox>("List9", 1, Rect{105, 270, 2310, 840}, &Frame11(1)))),
      List11(Array<ListBox>(Make<ListBox>("List11", 0, Rect{120, 240, 1110, 840}, &Frame11(4)),
                            Make<ListBox>("List11", 1, Rect{135, 285, 990, 840}, &Frame11(2)),
                            Make<ListBox>("List11", 3, Rect{120, 345, 2505, 645}, &Frame11(3)))),
      Text2("Text2", -1, "", Rect{105, 4095, 1530, 285}, nullptr),
      Text3("Text3", -1, "c:\\Dorvantel\\modelos\\zolo.mdb", Rect{120, 225, 6135, 285}, &Frame1(0)),
      Text4("Text4", -1, "c:\\dorvantel\\viejas\\zolo.mdb", Rect{180, 240, 6135, 285}, &Frame1(1)),
      Text5("Text5", -1, "", Rect{7440, 3060, 2145, 285}, nullptr),
      Text1(Array<TextBox>(
          Make<TextBox>("Text1", 0, "", Rect{135, 240, 1275, 285}, &Frame2(2), "nombreind"),
          Make<TextBox>("Text1", 1, "", Rect{135, 600, 1275, 285}, &Frame2(2), "tabla"),
          Make<TextBox>("Text1", 2, "", Rect{120, 945, 1275, 285}, &Frame2(2), "campo"),
          Make<TextBox>("Text1", 3, "", Rect{120, 1275, 1275, 285}, &Frame2(2), "unico"))),
      Text6(Array<TextBox>(
          Make<TextBox>("Text6", 0, "", Rect{315, 300, 1335, 300}, &Frame2(3), "nombrerel"),
          Make<TextBox>("Text6", 1, "", Rect{285, 630, 1335, 300}, &Frame2(3), "tabla"),
          Make<TextBox>("Text6", 2, "", Rect{225, 960, 1335, 300}, &Frame2(3), "tablafor"),
          Make<TextBox>("Text6", 3, "", Rect{1785, 300, 1335, 300}, &Frame2(3), "atributos"),
          Make<TextBox>("Text6", 4, "", Rect{1785, 645, 1335, 300}, &Frame2(3), "campo"),
          Make<TextBox>("Text6", 5, "", Rect{1815, 975, 1335, 300}, &Frame2(3), "campofor"))),
      campocon(Array<TextBox>(
          Make<TextBox>("campocon", 0, "", Rect{12030, 6345, 1170, 315}, nullptr, "nombrecon"),
          Make<TextBox>("campocon", 1, "", Rect{12045, 6705, 1170, 315}, nullptr, "consulta"))),
      Data1("Data1", "Data1", "", "", Rect{8475, 75, 1140, 345}, nullptr, kHidden),
      Data2("Data2", "Data2", "", "Empleados", Rect{8490, 660, 1140, 345}, nullptr, kHidden),
      Data3("Data3", "Data1", "C:\\Zarade\\indices.mdb", "indices", Rect{9225, 4440, 1140, 345},
            nullptr, kHidden),
      Data4("Data4", "Data1", "C:\\Zarade\\relacion.mdb", "relacion", Rect{12000, 1830, 1140, 345},
            nullptr, kHidden),
      Data5("Data5", "Data1", "C:\\Zarade\\consulta.mdb", "consulta", Rect{12060, 7155, 1140, 345},
            nullptr, true),
      Data2Grid(Data2),
      env_(std::move(env)) {
  controls_ = {// Initial view and exit.
               &Drive1, &Dir1, &Command26, &Command25, &Command13, &Command14,
               // Progress panel.
               &Frame9, &Label4, &Frame13, &Bar1, &Label1, &Bar2, &Label2, &Bar3, &Label3, &Bar4,
               &Label6, &Bar5, &Label7, &Bar6, &Label8,
               // Database lists and paths.
               &Frame8, &List7, &Frame7, &List6, &Frame10, &List8, &Command15, &Frame1(1), &Text4,
               &Command7, &Frame1(0), &Text3, &Command1,
               // Table and field tools.
               &Command6, &Command8, &Command2, &Command3, &Command9, &Command4, &Command5, &Text2,
               &Text5, &Label5, &Frame4, &List2, &Frame6, &List4, &Frame2(0), &List1(0), &List1(1),
               &List1(2), &Frame2(1), &List1(3), &List1(4), &List1(5), &Frame5, &List3, &Frame3,
               &List5(0), &List5(1), &List5(2), &Command12, &Command10, &Command11,
               // Index tools.
               &Frame12, &List10, &Frame2(2), &Text1(0), &Text1(1), &Text1(2), &Text1(3),
               &Command17, &Command18, &Command19, &Command16,
               // Relation tools.
               &Frame2(3), &Text6(0), &Text6(1), &Text6(2), &Text6(3), &Text6(4), &Text6(5),
               &Frame11(0), &List9(0), &Frame11(1), &List9(1), &Command22, &Command21, &Command20,
               // Query tools.
               &Frame11(4), &List11(0), &Frame11(2), &List11(1), &Frame11(3), &List11(3),
               &campocon(0), &campocon(1), &Command24, &Command23,
               // Data controls.
               &Data1, &Data2, &Data3, &Data4, &Data5};
  Wire();
}

}  // namespace actualiz::app
