#include "dialog/options_dialog.h"

#include <climits>
#include <string>

#include "base/limits.h"
#include "dialog/dialog_template.h"
#include "platform/ascii.h"
#include "platform/ini_file.h"
#include "retrieval/url.h"
#include "text/feed_date.h"

namespace korvo {
namespace {

using namespace dialog;

constexpr const char* kSitesSection = "NewsSites";

bool isBlank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

bool hasControlCharacter(std::string_view text) {
  for (char c : text) {
    auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7f) return true;
  }
  return false;
}

// The item choices need an item number; the others (and a choice outside
// the list) do not.
bool tooltipNeedsNoItem(int choice) { return choice >= 0 && choice <= 3; }
bool clickNeedsNoItem(int choice) { return choice == 0 || choice == 1; }

// The DateFormat settings of the date list's entries before "pattern".
constexpr const char* kDateSettings[] = {"", "local", "relative"};
static_assert(std::size(kDateSettings) == kPatternChoice);
constexpr int kFeedOrder = 0;
constexpr int kNewestFirst = 1;

int dateChoice(const DateFormat& format) {
  switch (format.kind) {
    case DateFormat::Kind::AsWritten: return 0;
    case DateFormat::Kind::Local: return 1;
    case DateFormat::Kind::Relative: return 2;
    case DateFormat::Kind::Pattern: break;
  }
  return kPatternChoice;
}

// A value in an INI file ends with its line. Line breaks the user pasted
// (CR LF, CR or LF) are dropped at either end of the text; within it each
// becomes one blank.
std::string oneLine(std::string_view text) {
  auto isBreak = [](char c) { return c == '\r' || c == '\n'; };
  while (!text.empty() && isBreak(text.front())) text.remove_prefix(1);
  while (!text.empty() && isBreak(text.back())) text.remove_suffix(1);
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (!isBreak(text[i])) {
      out.push_back(text[i]);
      continue;
    }
    if (text[i] == '\r' && text[i + 1] == '\n') ++i;
    out.push_back(' ');
  }
  return out;
}

std::string settingText(const DialogView& view, int box) {
  return oneLine(view.text(box, limits::kDialogSettingBuffer));
}

}  // namespace

bool OptionsDialog::onInitDialog(DialogView& view) {
  fillSiteList(view);
  for (int i = 0; i < static_cast<int>(std::size(kTooltipChoices)); ++i)
    view.insertEntry(kTooltipList, i, kTooltipChoices[i]);
  for (int i = 0; i < static_cast<int>(std::size(kClickChoices)); ++i)
    view.insertEntry(kClickList, i, kClickChoices[i]);
  for (int i = 0; i < static_cast<int>(std::size(kDateFormatChoices)); ++i)
    view.insertEntry(kDateFormatList, i, kDateFormatChoices[i]);
  for (int i = 0; i < static_cast<int>(std::size(kOrderChoices)); ++i)
    view.insertEntry(kOrderList, i, kOrderChoices[i]);
  // A longer text would not read back whole from the INI file.
  for (int box : {kDatePattern, kInclude, kExclude, kMarkNew})
    view.limitText(box, limits::kDialogSettingBuffer - 1);
  fillFromSettings(view);
  applyTooltipRule(view);
  applyClickRule(view);
  applyDateRule(view);
  return false;
}

void OptionsDialog::fillSiteList(DialogView& view) {
  const std::string section =
      ini::readSection(env_.globals->iniPath, kSitesSection, limits::kSiteSectionBuffer);
  // A section that filled the buffer to the last byte did not fit; the
  // sites stay in the file.
  if (section.size() == limits::kSiteSectionBuffer - 2) return;
  std::string_view rest = section;
  while (!rest.empty()) {
    std::size_t end = rest.find('\0');
    std::string_view entry = rest.substr(0, end);
    if (entry.empty()) break;
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
    std::size_t eq = entry.find('=');
    if (eq == std::string_view::npos || eq == 0) continue;
    std::string_view name = entry.substr(0, eq);
    // A name that would not fit the box it is saved through is not offered.
    if (name.size() + 1 > limits::kDialogTextBuffer) continue;
    view.addEntry(kSiteList, name);
  }
}

void OptionsDialog::fillFromSettings(DialogView& view) {
  const MeterSettings& s = registry_.getMeter(meterId_).settings;
  if (view.selectPrefix(kSiteList, s.NewsSite) < 0) view.select(kSiteList, 0);
  view.select(kTooltipList, s.ToolTip);
  view.setText(kTooltipItem, std::to_string(s.ToolTipItem));
  view.select(kClickList, s.InputClick);
  view.setText(kClickItem, std::to_string(s.InputClickItem));
  view.setText(kInterval, std::to_string(s.UpdateIntervall));
  view.setChecked(kFilterUnicode, s.FilterUnicode);
  view.setChecked(kFilterHtml, s.FilterHtml);
  view.setChecked(kReplaceBr, s.ReplaceBr);
  fillItemView(view, s);
}

void OptionsDialog::fillItemView(DialogView& view, const MeterSettings& s) {
  const DateFormat format = DateFormat::fromSetting(s.DateFormat);
  view.select(kDateFormatList, dateChoice(format));
  view.setText(kDatePattern, format.pattern);
  view.setText(kInclude, s.Include);
  view.setText(kExclude, s.Exclude);
  // The item view sorts for "newest" in any letter case, and keeps the
  // feed's order for every other value.
  view.select(kOrderList, ascii::equalsIgnoringCase(s.Order, "newest") ? kNewestFirst : kFeedOrder);
  orderPicked_ = false;
  view.setText(kMaxAge, std::to_string(s.MaxAge));
  view.setText(kMarkNew, s.MarkNew);
}

void OptionsDialog::applyTooltipRule(DialogView& view) {
  view.enable(kTooltipItem, !tooltipNeedsNoItem(view.selection(kTooltipList)));
}

void OptionsDialog::applyClickRule(DialogView& view) {
  view.enable(kClickItem, !clickNeedsNoItem(view.selection(kClickList)));
}

void OptionsDialog::applyDateRule(DialogView& view) {
  view.enable(kDatePattern, view.selection(kDateFormatList) == kPatternChoice);
}

void OptionsDialog::onCommand(DialogView& view, int controlId, int notification) {
  switch (controlId) {
    case kSave: onSave(view); break;
    case kCancel: onCancel(view); break;
    case kAddSite: onAddSite(view); break;
    case kDeleteSite: onDeleteSite(view); break;
    case kTooltipList:
      if (notification == kSelectionChanged) onTooltipChoice(view);
      break;
    case kClickList:
      if (notification == kSelectionChanged) onClickChoice(view);
      break;
    case kDateFormatList:
      if (notification == kSelectionChanged) onDateChoice(view);
      break;
    case kOrderList:
      if (notification == kSelectionChanged) onOrderChoice();
      break;
    default: break;
  }
}

void OptionsDialog::onClose(DialogView& view) { view.endDialog(kDialogResult); }

void OptionsDialog::onCancel(DialogView& view) { view.endDialog(kDialogResult); }

const char* OptionsDialog::siteRefusal(std::string_view name, std::string_view url) {
  std::size_t first = 0;
  while (first < name.size() && isBlank(name[first])) ++first;
  // The file keeps names without their blanks: one of blanks only is none.
  if (first == name.size()) return "Not added: the site needs a name.";
  if (url.empty()) return "Not added: the site needs an address (Url).";
  if (hasControlCharacter(name) || hasControlCharacter(url))
    return "Not added: no control characters in the name or the address.";
  if (!isValidUrl(url)) return "Not added: the address must look like http://example.org/news.xml.";
  if (name.find('=') != std::string_view::npos || name[first] == '[' || name[first] == ';')
    return "Not added: the name may not hold \"=\" nor start with \"[\" or \";\".";
  return nullptr;
}

void OptionsDialog::onAddSite(DialogView& view) {
  const std::string name = view.text(kSiteName, limits::kDialogTextBuffer);
  const std::string url = view.text(kSiteUrl, limits::kDialogTextBuffer);
  const char* refusal = siteRefusal(name, url);
  if (refusal == nullptr && !ini::writeString(env_.globals->iniPath, kSitesSection, name, url))
    refusal = "Not added: Korvo.ini could not be written.";
  if (refusal != nullptr) {
    view.setText(kAddStatus, refusal);
    env_.cache->env().writeLine(std::string("Add site: ") + refusal);
    return;
  }
  view.setText(kAddStatus, "");
  view.addEntry(kSiteList, name);
  view.setText(kSiteName, "");
  view.setText(kSiteUrl, "");
  if (view.entryCount(kSiteList) == 1) view.select(kSiteList, 0);
}

void OptionsDialog::onDeleteSite(DialogView& view) {
  const int index = view.selection(kSiteList);
  if (index < 0) return;
  const auto name = view.entryText(kSiteList, index, limits::kSiteDeleteBuffer);
  if (!name) return;
  view.deleteEntry(kSiteList, index);
  ini::deleteKey(env_.globals->iniPath, kSitesSection, *name);
  view.select(kSiteList, index - 1);
}

std::optional<int> OptionsDialog::readInteger(std::string_view text) {
  const ascii::Decimal number = ascii::parseDecimal(text, INT_MIN, INT_MAX);
  if (!number.hasDigits || !number.inRange) return std::nullopt;
  return static_cast<int>(number.value);
}

std::optional<int> OptionsDialog::readBox(const DialogView& view, int box) const {
  const std::string text = view.text(box, limits::kDialogTextBuffer);
  if (text.empty()) return std::nullopt;
  return readInteger(text);
}

void OptionsDialog::onSave(DialogView& view) {
  Meter& meter = registry_.getMeter(meterId_);
  MeterSettings& s = meter.settings;
  const int site = view.selection(kSiteList);
  s.NewsSite = view.entryText(kSiteList, site, limits::kDialogTextBuffer).value_or("");
  if (auto interval = readBox(view, kInterval); interval && *interval > 0)
    s.UpdateIntervall = *interval;
  s.ToolTip = view.selection(kTooltipList);
  if (auto item = readBox(view, kTooltipItem); item && *item >= 0) s.ToolTipItem = *item;
  s.InputClick = view.selection(kClickList);
  if (auto item = readBox(view, kClickItem); item && *item >= 0) s.InputClickItem = *item;
  s.FilterUnicode = view.isChecked(kFilterUnicode);
  s.FilterHtml = view.isChecked(kFilterHtml);
  s.ReplaceBr = view.isChecked(kReplaceBr);
  storeItemView(view, s);
  meter.resolveSite(env_);
  view.endDialog(kDialogResult);
}

// A list without a selection leaves its setting as it was.
void OptionsDialog::storeItemView(const DialogView& view, MeterSettings& s) const {
  const int date = view.selection(kDateFormatList);
  if (date >= 0 && date <= kPatternChoice) {
    const std::string chosen = date == kPatternChoice
                                   ? settingText(view, kDatePattern)
                                   : std::string(kDateSettings[date]);
    // A setting that means what was chosen is kept as it was written
    // ("Local", say).
    const DateFormat was = DateFormat::fromSetting(s.DateFormat);
    const DateFormat now = DateFormat::fromSetting(chosen);
    if (was.kind != now.kind || was.pattern != now.pattern) s.DateFormat = chosen;
  }
  s.Include = settingText(view, kInclude);
  s.Exclude = settingText(view, kExclude);
  const int order = view.selection(kOrderList);
  if (orderPicked_ && (order == kFeedOrder || order == kNewestFirst))
    s.Order = order == kNewestFirst ? "newest" : "feed";
  if (auto age = readBox(view, kMaxAge); age && *age >= 0) s.MaxAge = *age;
  s.MarkNew = settingText(view, kMarkNew);
}

}  // namespace korvo
