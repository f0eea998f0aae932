#include "app/shell.h"

namespace pelarin {
namespace {

constexpr const char* kUnavailable = "******";

// An entry named after the illuminated junction it still holds; it is usable, so it is enabled too.
void Named(Menus& menus, MenuItem item, const char* caption) {
  menus.SetCaption(item, caption);
  menus.SetEnabled(item, true);
}

void Unavailable(Menus& menus, MenuItem item) {
  menus.SetCaption(item, kUnavailable);
  menus.SetEnabled(item, false);
}

// The entry is named after its junction when that junction is lit, and unavailable otherwise.
void NamedIfLit(Menus& menus, MenuItem item, double jsc, const char* caption) {
  if (jsc != 0)
    Named(menus, item, caption);
  else
    Unavailable(menus, item);
}

}  // namespace

void AdaptMenus(const Parameters& p, Menus& menus) {
  using M = MenuItem;
  if (p.Jsc1 == 0 || p.Jsc2 == 0 || p.Jsc3 == 0) {
    menus.SetEnabled(M::Twojunctions, false);
    menus.SetCaption(M::Twojunctions, kUnavailable);
    menus.SetCaption(M::Threejunctions, "&All junctions");
    menus.SetCaption(M::test_EQE_3junct, "&All junctions");
    menus.SetCaption(M::calc_EQE_2junct, "&1 junction");
    menus.SetEnabled(M::OnejunctionWRf, false);
    menus.SetEnabled(M::AvecRl, false);
  }
  if (p.Jsc1 != 0 && p.Jsc2 != 0 && p.Jsc3 != 0) {
    menus.SetEnabled(M::Twojunctions, true);
    menus.SetCaption(M::Twojunctions, "&2 junctions");
    menus.SetCaption(M::Threejunctions, "&All junctions");
    menus.SetCaption(M::test_EQE_3junct, "&All junctions");
    menus.SetCaption(M::calc_EQE_2junct, "&2 junctions");
    menus.SetEnabled(M::OnejunctionWRf, true);
    menus.SetEnabled(M::AvecRl, true);
    Named(menus, M::test_EQE_2junct_1and2_Ill, "1 and 2 illuminated");
    Named(menus, M::test_EQE_2junct_1and3_Ill, "1 and 3 illuminated");
    Named(menus, M::test_EQE_2junct_2and3_Ill, "2 and 3 illuminated");
  }
  if (p.Jsc3 == 0) {
    NamedIfLit(menus, M::test_EQE_2junct_1and2_Ill, p.Jsc1, "1 illuminated");
    Unavailable(menus, M::test_EQE_2junct_1and3_Ill);
    NamedIfLit(menus, M::test_EQE_2junct_2and3_Ill, p.Jsc2, "2 illuminated");
  }
  if (p.Jsc2 == 0) {
    NamedIfLit(menus, M::test_EQE_2junct_1and2_Ill, p.Jsc1, "1 illuminated");
    NamedIfLit(menus, M::test_EQE_2junct_1and3_Ill, p.Jsc3, "3 illuminated");
    Unavailable(menus, M::test_EQE_2junct_2and3_Ill);
  }
  if (p.Jsc1 == 0) {
    Unavailable(menus, M::test_EQE_2junct_1and2_Ill);
    NamedIfLit(menus, M::test_EQE_2junct_1and3_Ill, p.Jsc3, "3 illuminated");
    NamedIfLit(menus, M::test_EQE_2junct_2and3_Ill, p.Jsc2, "2 illuminated");
  }
}

}  // namespace pelarin
