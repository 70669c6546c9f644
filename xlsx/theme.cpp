#include "xlsx/namespaces.h"
#include "xlsx/package_parts.h"

#include <initializer_list>
#include <utility>

namespace XlsxModel {

using namespace xml;

namespace {

using modifiers = std::initializer_list<std::pair<const wchar_t*, int>>;

void placeholder(XmlWriter& w, modifiers mods = {}) {
  w << el(L"a:schemeClr") << at(L"val") << L"phClr";
  for (const auto& [name, value] : mods) w << el(name) << at(L"val") << value << end();
  w << end(L"a:schemeClr");
}

struct stop {
  int pos;
  modifiers mods;
};

void gradient_stops(XmlWriter& w, std::initializer_list<stop> stops) {
  w << el(L"a:gradFill") << at(L"rotWithShape") << 1 << el(L"a:gsLst");
  for (const stop& s : stops) {
    w << el(L"a:gs") << at(L"pos") << s.pos;
    placeholder(w, s.mods);
    w << end(L"a:gs");
  }
  w << end(L"a:gsLst");
}

void colour_scheme(XmlWriter& w) {
  w << el(L"a:clrScheme") << at(L"name") << L"Office";
  w << el(L"a:dk1") << el(L"a:sysClr") << at(L"val") << L"windowText" << at(L"lastClr") << L"000000" << end()
    << end();
  w << el(L"a:lt1") << el(L"a:sysClr") << at(L"val") << L"window" << at(L"lastClr") << L"FFFFFF" << end() << end();
  static const std::pair<const wchar_t*, const wchar_t*> colours[] = {
      {L"a:dk2", L"1F497D"},     {L"a:lt2", L"EEECE1"},     {L"a:accent1", L"4F81BD"}, {L"a:accent2", L"C0504D"},
      {L"a:accent3", L"9BBB59"}, {L"a:accent4", L"8064A2"}, {L"a:accent5", L"4BACC6"}, {L"a:accent6", L"F79646"},
      {L"a:hlink", L"0000FF"},   {L"a:folHlink", L"800080"}};
  for (const auto& [name, rgb] : colours) w << el(name) << el(L"a:srgbClr") << at(L"val") << rgb << end() << end();
  w << end(L"a:clrScheme");
}

void font_list(XmlWriter& w, const wchar_t* element) {
  static const std::pair<const wchar_t*, const wchar_t*> scripts[] = {
      {L"Arab", L"Times New Roman"},
      {L"Herb", L"Times New Roman"},
      {L"Thai", L"Tahoma"},
      {L"Ethi", L"Nyala"},
      {L"Beng", L"Vrinda"},
      {L"Gujr", L"Shruti"},
      {L"Khmr", L"MoolBoran"},
      {L"Knda", L"Tunga"},
      {L"Guru", L"Raavi"},
      {L"Cans", L"Euphemia"},
      {L"Cher", L"Plantagenet Cherokee"},
      {L"Yiii", L"Microsoft Yi Baiti"},
      {L"Tibt", L"Microsoft Himalaya"},
      {L"Thaa", L"MV Boli"},
      {L"Deva", L"Mangal"},
      {L"Telu", L"Gautami"},
      {L"Taml", L"Latha"},
      {L"Syrc", L"Estrangelo Edessa"},
      {L"Orya", L"Kalinga"},
      {L"Mlym", L"Kartika"},
      {L"Laoo", L"DokChampa"},
      {L"Sinh", L"Iskoola Pota"},
      {L"Mong", L"Mongolian Baiti"},
      {L"Viet", L"Times New Roman"},
      {L"Uigh", L"Microsoft Uighur"},
      {L"Geor", L"Sylfaen"}};
  w << el(element);
  w << el(L"a:latin") << at(L"typeface") << L"Cambria" << end();
  w << el(L"a:ea") << at(L"typeface") << L"" << end();
  w << el(L"a:cs") << at(L"typeface") << L"" << end();
  for (const auto& [script, face] : scripts)
    w << el(L"a:font") << at(L"script") << script << at(L"typeface") << face << end();
  w << end(element);
}

void fill_styles(XmlWriter& w) {
  w << el(L"a:fillStyleLst");
  w << el(L"a:solidFill");
  placeholder(w);
  w << end(L"a:solidFill");
  gradient_stops(w, {{0, {{L"a:tint", 50000}, {L"a:satMod", 300000}}},
                     {35000, {{L"a:tint", 37000}, {L"a:satMod", 300000}}},
                     {100000, {{L"a:tint", 15000}, {L"a:satMod", 350000}}}});
  w << el(L"a:lin") << at(L"ang") << 16200000 << at(L"scaled") << 1 << end() << end(L"a:gradFill");
  gradient_stops(w, {{0, {{L"a:shade", 51000}, {L"a:satMod", 130000}}},
                     {80000, {{L"a:shade", 93000}, {L"a:satMod", 130000}}},
                     {100000, {{L"a:shade", 94000}, {L"a:satMod", 135000}}}});
  w << el(L"a:lin") << at(L"ang") << 16200000 << at(L"scaled") << 0 << end() << end(L"a:gradFill");
  w << end(L"a:fillStyleLst");
}

void line_styles(XmlWriter& w) {
  w << el(L"a:lnStyleLst");
  for (int width : {9525, 25400, 38100}) {
    w << el(L"a:ln") << at(L"w") << width << at(L"cap") << L"flat" << at(L"cmpd") << L"sng" << at(L"algn")
      << L"ctr";
    w << el(L"a:solidFill");
    if (width == 9525)
      placeholder(w, {{L"a:shade", 95000}, {L"a:satMod", 105000}});
    else
      placeholder(w);
    w << end(L"a:solidFill");
    w << el(L"a:prstDash") << at(L"val") << L"solid" << end();
    w << end(L"a:ln");
  }
  w << end(L"a:lnStyleLst");
}

void rotation(XmlWriter& w, int rev) {
  w << el(L"a:rot") << at(L"lat") << 0 << at(L"lon") << 0 << at(L"rev") << rev << end();
}

void effect_styles(XmlWriter& w) {
  w << el(L"a:effectStyleLst");
  for (int n = 0; n < 3; ++n) {
    w << el(L"a:effectStyle") << el(L"a:effectLst");
    w << el(L"a:outerShdw") << at(L"blurRad") << 40000 << at(L"dist") << (n == 0 ? 20000 : 23000) << at(L"dir")
      << 5400000 << at(L"rotWithShape") << 0;
    w << el(L"a:srgbClr") << at(L"val") << L"000000" << el(L"a:alpha") << at(L"val") << (n == 0 ? 38000 : 35000)
      << end() << end();
    w << end(L"a:outerShdw") << end(L"a:effectLst");
    if (n == 2) {
      w << el(L"a:scene3d");
      w << el(L"a:camera") << at(L"prst") << L"orthographicFront";
      rotation(w, 0);
      w << end(L"a:camera");
      w << el(L"a:lightRig") << at(L"rig") << L"threePt" << at(L"dir") << L"t";
      rotation(w, 1200000);
      w << end(L"a:lightRig");
      w << end(L"a:scene3d");
      w << el(L"a:sp3d") << el(L"a:bevelT") << at(L"w") << 63500 << at(L"h") << 25400 << end() << end();
    }
    w << end(L"a:effectStyle");
  }
  w << end(L"a:effectStyleLst");
}

void circle_path(XmlWriter& w, int l, int t, int r, int b) {
  w << el(L"a:path") << at(L"path") << L"circle" << el(L"a:fillToRect") << at(L"l") << l << at(L"t") << t
    << at(L"r") << r << at(L"b") << b << end() << end();
}

void background_fill_styles(XmlWriter& w) {
  w << el(L"a:bgFillStyleLst");
  w << el(L"a:solidFill");
  placeholder(w);
  w << end(L"a:solidFill");
  gradient_stops(w, {{0, {{L"a:tint", 40000}, {L"a:satMod", 350000}}},
                     {40000, {{L"a:tint", 45000}, {L"a:shade", 99000}, {L"a:satMod", 350000}}},
                     {100000, {{L"a:shade", 20000}, {L"a:satMod", 255000}}}});
  circle_path(w, 50000, -80000, 50000, 180000);
  w << end(L"a:gradFill");
  gradient_stops(w, {{0, {{L"a:tint", 80000}, {L"a:satMod", 300000}}},
                     {100000, {{L"a:shade", 30000}, {L"a:satMod", 200000}}}});
  circle_path(w, 50000, 50000, 50000, 50000);
  w << end(L"a:gradFill");
  w << end(L"a:bgFillStyleLst");
}

}  // namespace

bool write_theme(CWorkbook& workbook) {
  std::unique_ptr<part_output> out = workbook.open_part(L"xl/theme/theme1.xml");
  if (!out) return false;
  {
    XmlWriter w(*out);
    w << prolog() << el(L"a:theme") << at(L"xmlns:a") << ns::drawing_main << at(L"name") << L"Office Theme";
    w << el(L"a:themeElements");
    colour_scheme(w);
    w << el(L"a:fontScheme") << at(L"name") << L"Office";
    font_list(w, L"a:majorFont");
    font_list(w, L"a:minorFont");
    w << end(L"a:fontScheme");
    w << el(L"a:fmtScheme") << at(L"name") << L"Office";
    fill_styles(w);
    line_styles(w);
    effect_styles(w);
    background_fill_styles(w);
    w << end(L"a:fmtScheme");
    w << end(L"a:themeElements");
    w << el(L"a:objectDefaults") << end();
    w << el(L"a:extraClrSchemeLst") << end();
  }
  return workbook.close_part(*out);
}

}  // namespace XlsxModel
