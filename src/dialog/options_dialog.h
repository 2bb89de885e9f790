#pragma once
// The options dialog of one meter: what it does when its window opens and
// when a command comes from one of its controls. It edits the meter's
// settings (only on "Save") and the NewsSites section of the plug-in's INI
// file (at once, on "Add" and "Delete"). Why "Add" added nothing is shown in
// the dialog's status line (and logged); other failures are silent. Every
// handler is given the view of the open window.
#include <optional>
#include <string_view>

#include "dialog/dialog_view.h"
#include "meters/meter.h"
#include "meters/meter_registry.h"

namespace korvo {

class OptionsDialog {
 public:
  // registry and env must outlive the dialog. The meter is looked up by id
  // each time it is needed (a default meter is made when there is none).
  OptionsDialog(MeterRegistry& registry, const MeterEnv& env, int meterId)
      : registry_(registry), env_(env), meterId_(meterId) {}

  int meterId() const { return meterId_; }

  // The window was created: fills the lists and shows the meter's settings.
  // False: the keyboard focus is left where the window system puts it.
  bool onInitDialog(dialog::DialogView& view);
  // A command from a control, told apart by id alone; the lists act only
  // on a selection change. Commands from other ids are ignored.
  void onCommand(dialog::DialogView& view, int controlId, int notification);
  // The close box: ends the dialog; nothing is stored.
  void onClose(dialog::DialogView& view);

  void fillFromSettings(dialog::DialogView& view);
  // The two enabling rules: an item box is enabled exactly when its list's
  // selection is not one of the choices that need no item.
  void applyTooltipRule(dialog::DialogView& view);
  void applyClickRule(dialog::DialogView& view);
  // The pattern box is enabled exactly when the date list's choice is
  // "pattern".
  void applyDateRule(dialog::DialogView& view);
  void onTooltipChoice(dialog::DialogView& view) { applyTooltipRule(view); }
  void onClickChoice(dialog::DialogView& view) { applyClickRule(view); }
  void onDateChoice(dialog::DialogView& view) { applyDateRule(view); }
  // An Order the list does not know shows as "feed order" and is stored
  // again as it was unless the user picks an entry of the list.
  void onOrderChoice() { orderPicked_ = true; }
  void onAddSite(dialog::DialogView& view);
  void onDeleteSite(dialog::DialogView& view);
  void onSave(dialog::DialogView& view);
  void onCancel(dialog::DialogView& view);

  // A decimal integer read as a formatted stream extraction reads one:
  // leading white space, an optional sign, digits up to the first other
  // character. nullopt when no digit follows or the value does not fit in
  // 32 bits.
  static std::optional<int> readInteger(std::string_view text);

  // True for a site "Add" may write: a non-empty name and URL, a URL that
  // passes isValidUrl, and nothing that would not read back from the INI
  // file: no "=" in the name, no "[" or ";" at its start, no control
  // character in either.
  static bool isAcceptableSite(std::string_view name, std::string_view url) {
    return siteRefusal(name, url) == nullptr;
  }
  // Why "Add" may not write that site, in a line for the status line; null
  // when it may.
  static const char* siteRefusal(std::string_view name, std::string_view url);

 private:
  std::optional<int> readBox(const dialog::DialogView& view, int box) const;
  void fillSiteList(dialog::DialogView& view);
  void fillItemView(dialog::DialogView& view, const MeterSettings& s);
  void storeItemView(const dialog::DialogView& view, MeterSettings& s) const;

  MeterRegistry& registry_;
  const MeterEnv& env_;
  int meterId_;
  bool orderPicked_ = false;
};

}  // namespace korvo
