#include "tests/e2e/x11/office_probe.h"

#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/bridge/UnoUrlResolver.hpp>
#include <com/sun/star/container/XEnumerationAccess.hpp>
#include <com/sun/star/frame/Desktop.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/frame/XStorable.hpp>
#include <com/sun/star/presentation/XPresentation2.hpp>
#include <com/sun/star/presentation/XPresentationSupplier.hpp>
#include <com/sun/star/presentation/XSlideShowController.hpp>
#include <com/sun/star/util/XCloseable.hpp>
#include <cppuhelper/bootstrap.hxx>
#include <osl/file.hxx>
#include <rtl/bootstrap.hxx>

namespace css = com::sun::star;
using css::uno::Reference;
using css::uno::UNO_QUERY;
using css::uno::UNO_QUERY_THROW;

namespace {

// Never destroyed: at the process's end the UNO runtime has gone before the
// test's own static objects would be.
Reference<css::frame::XDesktop2>& desktop = *new Reference<css::frame::XDesktop2>;
std::string connectedPipe;

rtl::OUString FromUtf8(const std::string& text) {
  return rtl::OUString(text.data(), static_cast<sal_Int32>(text.size()), RTL_TEXTENCODING_UTF8);
}

bool Connect(const std::string& pipeName) {
  if (desktop.is() && connectedPipe == pipeName) return true;
  static Reference<css::uno::XComponentContext>& local =
      *new Reference<css::uno::XComponentContext>;
  try {
    if (!local.is()) {
      rtl::Bootstrap::set("URE_BOOTSTRAP", "vnd.sun.star.pathname:" PODIANT_LIBREOFFICE_PROGRAM_DIR
                                           "/fundamentalrc");
      local = cppu::defaultBootstrap_InitialComponentContext();
    }
    Reference<css::uno::XComponentContext> office(
        css::bridge::UnoUrlResolver::create(local)->resolve(
            FromUtf8("uno:pipe,name=" + pipeName + ";urp;StarOffice.ComponentContext")),
        UNO_QUERY_THROW);
    desktop = css::frame::Desktop::create(office);
    connectedPipe = pipeName;
    return true;
  } catch (...) {
    desktop.clear();
    return false;
  }
}

// The controller of the running show of the document loaded from `fileUrl`,
// or none; `open` tells whether such a document is open.
Reference<css::presentation::XSlideShowController> FindShow(const std::string& fileUrl,
                                                            bool* open) {
  auto documents = desktop->getComponents()->createEnumeration();
  while (documents->hasMoreElements()) {
    Reference<css::frame::XModel> model(documents->nextElement(), UNO_QUERY);
    if (!model.is() || model->getURL() != FromUtf8(fileUrl)) continue;
    *open = true;
    Reference<css::presentation::XPresentationSupplier> supplier(model, UNO_QUERY_THROW);
    Reference<css::presentation::XPresentation2> show(supplier->getPresentation(), UNO_QUERY_THROW);
    if (show->isRunning()) return show->getController();
  }
  return nullptr;
}

}  // namespace

bool ProbeConnects(const std::string& pipeName) { return Connect(pipeName); }

ShowState ReadShow(const std::string& pipeName, const std::string& fileUrl) {
  ShowState state;
  if (!Connect(pipeName)) return state;
  try {
    Reference<css::presentation::XSlideShowController> controller = FindShow(fileUrl, &state.open);
    if (controller.is()) {
      state.running = true;
      state.slides = controller->getSlideCount();
      state.index = controller->getCurrentSlideIndex();
      state.paused = controller->isPaused();
    }
  } catch (...) {
    desktop.clear();  // the office went away: the next read connects afresh
  }
  return state;
}

bool MoveShow(const std::string& pipeName, const std::string& fileUrl, int index) {
  bool open = false;
  try {
    Reference<css::presentation::XSlideShowController> controller;
    if (Connect(pipeName)) controller = FindShow(fileUrl, &open);
    if (!controller.is()) return false;
    controller->gotoSlideIndex(index);
    return true;
  } catch (...) {
    desktop.clear();
    return false;
  }
}

bool ConvertToPptx(const std::string& pipeName, const std::string& sourceUrl,
                   const std::string& targetUrl) {
  if (!Connect(pipeName)) return false;
  try {
    css::uno::Sequence<css::beans::PropertyValue> hidden(1);
    hidden.getArray()[0].Name = "Hidden";
    hidden.getArray()[0].Value <<= true;
    Reference<css::lang::XComponent> document =
        desktop->loadComponentFromURL(FromUtf8(sourceUrl), "_blank", 0, hidden);
    css::uno::Sequence<css::beans::PropertyValue> filter(1);
    filter.getArray()[0].Name = "FilterName";
    filter.getArray()[0].Value <<= rtl::OUString("Impress MS PowerPoint 2007 XML");
    Reference<css::frame::XStorable>(document, UNO_QUERY_THROW)
        ->storeToURL(FromUtf8(targetUrl), filter);
    Reference<css::util::XCloseable>(document, UNO_QUERY_THROW)->close(true);
    return true;
  } catch (...) {
    return false;
  }
}

std::string OfficeFileUrl(const std::string& path) {
  rtl::OUString url;
  osl::FileBase::getFileURLFromSystemPath(FromUtf8(path), url);
  return rtl::OUStringToOString(url, RTL_TEXTENCODING_UTF8).getStr();
}
