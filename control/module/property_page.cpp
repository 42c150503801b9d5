#include "control/module/property_page.h"

#include <array>
#include <span>
#include <stdexcept>

#include "platform/ui/dialogs.h"

namespace marqen::control {
namespace {

using com::ResultKind;

constexpr std::array<com::ScriptMethod, 5> kMethods = {{
    {u"Show", DISPID_PAGE_SHOW, {}, ResultKind::Long},
    {u"Title", DISPID_PAGE_TITLE, {}, ResultKind::String},
    {u"DocString", DISPID_PAGE_DOC_STRING, {}, ResultKind::String},
    {u"HelpFile", DISPID_PAGE_HELP_FILE, {}, ResultKind::String},
    {u"HelpContext", DISPID_PAGE_HELP_CONTEXT, {}, ResultKind::Long},
}};

class CMarqenPropPage final : public com::ScriptObject {
 public:
  std::span<const com::ScriptMethod> methods() const override { return kMethods; }

  com::ScriptResult invoke(std::int32_t dispid, std::span<const com::ScriptArg> args) override {
    if (!args.empty()) throw std::invalid_argument("the page's methods take no arguments");
    switch (dispid) {
      case DISPID_PAGE_SHOW:
        return static_cast<std::int32_t>(ui::propertyPage());
      case DISPID_PAGE_TITLE:
        return std::u16string(u"General");
      case DISPID_PAGE_DOC_STRING:
        return std::u16string(u"Names to appear in the control");
      case DISPID_PAGE_HELP_FILE:
        return std::u16string(u"MARQEN.HLP");
      case DISPID_PAGE_HELP_CONTEXT:
        return std::int32_t{0};
      default:
        throw std::invalid_argument("no such method of the property page");
    }
  }
};

}  // namespace

std::unique_ptr<com::ScriptObject> createPropertyPage() {
  return std::make_unique<CMarqenPropPage>();
}

}  // namespace marqen::control
