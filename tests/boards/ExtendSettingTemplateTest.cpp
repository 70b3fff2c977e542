// The Win32 dialog templates 107 and 108 against the forms the editor uses
// and against the Qt forms: the same controls, in the same order, at the
// same dialog units; every control inside its dialog and its group box.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "boards/ExtendSettingForm.h"

using namespace pellux;

namespace {

struct Control {
  std::string kind;  // GROUPBOX, LTEXT, EDITTEXT, PUSHBUTTON
  std::string text;
  int id = -1;
  int x = 0, y = 0, w = 0, h = 0;
  bool Contains(const Control& other) const {
    return other.x >= x && other.y >= y && other.x + other.w <= x + w && other.y + other.h <= y + h;
  }
};

struct Template {
  int w = 0, h = 0;
  std::string caption;
  std::string font;
  std::vector<Control> controls;
};

std::string ReadFile(const std::string& path) {
  std::ifstream file(path);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

std::map<int, Template> ReadResourceScript(const std::string& path) {
  std::map<int, Template> templates;
  std::istringstream lines(ReadFile(path));
  const std::regex header(R"re(^(\d+) DIALOGEX 0, 0, (\d+), (\d+))re");
  const std::regex withText(
      R"re(^\s+(GROUPBOX|LTEXT|PUSHBUTTON|DEFPUSHBUTTON)\s+"([^"]*)",(-?\d+),(\d+),(\d+),(\d+),(\d+))re");
  const std::regex edit(R"re(^\s+(EDITTEXT)\s+(\d+),(\d+),(\d+),(\d+),(\d+))re");
  Template* current = nullptr;
  for (std::string line; std::getline(lines, line);) {
    std::smatch m;
    if (std::regex_search(line, m, header)) {
      current = &templates[std::stoi(m[1])];
      current->w = std::stoi(m[2]);
      current->h = std::stoi(m[3]);
    } else if (current == nullptr) {
      continue;
    } else if (line.rfind("CAPTION ", 0) == 0) {
      current->caption = line.substr(9, line.size() - 10);
    } else if (line.rfind("FONT ", 0) == 0) {
      current->font = line.substr(5);
    } else if (std::regex_search(line, m, withText)) {
      current->controls.push_back({m[1], m[2], std::stoi(m[3]), std::stoi(m[4]), std::stoi(m[5]),
                                   std::stoi(m[6]), std::stoi(m[7])});
    } else if (std::regex_search(line, m, edit)) {
      current->controls.push_back({m[1], "", std::stoi(m[2]), std::stoi(m[3]), std::stoi(m[4]),
                                   std::stoi(m[5]), std::stoi(m[6])});
    }
  }
  return templates;
}

// The dialog-unit rectangles of a Qt form by widget name.
std::map<std::string, Control> ReadQtForm(const std::string& path) {
  std::map<std::string, Control> widgets;
  const std::string text = ReadFile(path);
  const std::regex widget(
      R"re(<widget class="[^"]+" name="([^"]+)">\s*(?:<!--[^>]*-->\s*)?<property name="geometry"><rect><x>(\d+)</x><y>(\d+)</y><width>(\d+)</width><height>(\d+)</height>)re");
  for (std::sregex_iterator it(text.begin(), text.end(), widget), end; it != end; ++it) {
    const std::smatch& m = *it;
    Control c;
    c.x = std::stoi(m[2]);
    c.y = std::stoi(m[3]);
    c.w = std::stoi(m[4]);
    c.h = std::stoi(m[5]);
    widgets[m[1]] = c;
  }
  return widgets;
}

const std::string kResources = std::string(PUPDATE_SOURCE_DIR) + "/resources/";

std::string Describe(const Control& c) {
  return c.kind + " \"" + c.text + "\" " + std::to_string(c.id) + " at " + std::to_string(c.x) +
         "," + std::to_string(c.y) + " " + std::to_string(c.w) + "x" + std::to_string(c.h);
}

void CheckTemplate(const ExtendSettingForm& form, const Template& t, int width, int height,
                   const std::string& qtForm) {
  EXPECT_EQ(t.w, width);
  EXPECT_EQ(t.h, height);
  EXPECT_EQ(t.caption, form.title);
  EXPECT_EQ(t.font, R"(9, "MS Shell Dlg", 400, 0, 0x1)");

  // The boxes in the form's order, then Load, Save, Close: the tab order.
  std::vector<int> ids;
  for (const Control& c : t.controls)
    if (c.kind == "EDITTEXT" || c.kind == "PUSHBUTTON") ids.push_back(c.id);
  std::vector<int> expected = form.boxIds;
  expected.insert(expected.end(), {kLoadButtonId, kSaveButtonId, kCloseButtonId});
  EXPECT_EQ(ids, expected);
  for (const Control& c : t.controls) {
    if (c.kind == "PUSHBUTTON" && c.id == kLoadButtonId) EXPECT_EQ(c.text, "Load");
    if (c.kind == "PUSHBUTTON" && c.id == kSaveButtonId) EXPECT_EQ(c.text, "Save");
    if (c.kind == "PUSHBUTTON" && c.id == kCloseButtonId) EXPECT_EQ(c.text, "Close");
  }

  const Control dialog{.x = 0, .y = 0, .w = t.w, .h = t.h};
  for (const Control& c : t.controls) {
    EXPECT_TRUE(dialog.Contains(c)) << Describe(c) << " outside the dialog";
    if (c.kind != "GROUPBOX") continue;
    for (const Control& other : t.controls) {
      if (&other == &c || other.x < c.x || other.y < c.y || other.x >= c.x + c.w ||
          other.y >= c.y + c.h)
        continue;
      EXPECT_TRUE(c.Contains(other)) << Describe(other) << " runs past " << Describe(c);
    }
  }

  // The Qt form holds the same rectangles: edits and buttons named by id,
  // labels and group boxes by their text.
  const std::map<std::string, Control> qt = ReadQtForm(kResources + qtForm + ".ui");
  ASSERT_TRUE(qt.count(qtForm));
  EXPECT_EQ(qt.at(qtForm).w, t.w);
  EXPECT_EQ(qt.at(qtForm).h, t.h);
  EXPECT_EQ(qt.size(), t.controls.size() + 1);
  for (const Control& c : t.controls) {
    std::string name = "id" + std::to_string(c.id);
    if (c.id < 0) {
      name = (c.kind == "GROUPBOX" ? "group" : "label") + c.text;
      name.erase(std::remove(name.begin(), name.end(), ' '), name.end());
    }
    ASSERT_TRUE(qt.count(name)) << name;
    const Control& q = qt.at(name);
    EXPECT_EQ(std::vector<int>({q.x, q.y, q.w, q.h}), std::vector<int>({c.x, c.y, c.w, c.h}))
        << name;
  }
}

}  // namespace

TEST(ExtendSettingTemplates, MatchTheFormsAndHoldEveryControlInside) {
  const std::map<int, Template> templates =
      ReadResourceScript(kResources + "win32/ExtendSetting.rc");
  ASSERT_EQ(templates.size(), 2u);
  ASSERT_TRUE(templates.count(107));
  ASSERT_TRUE(templates.count(108));
  CheckTemplate(Nr2ExtendSettingForm(), templates.at(107), 298, 218, "ExtendSetting_NR2");
  CheckTemplate(R1psExtendSettingForm(), templates.at(108), 172, 158, "ExtendSetting_R1PS");
}
