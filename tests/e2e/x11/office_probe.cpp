#include "tests/e2e/x11/office_probe.h"

#include <com/sun/star/animations/AnimationFill.hpp>
#include <com/sun/star/animations/Event.hpp>
#include <com/sun/star/animations/EventTrigger.hpp>
#include <com/sun/star/animations/XAnimate.hpp>
#include <com/sun/star/animations/XAnimationNodeSupplier.hpp>
#include <com/sun/star/animations/XTimeContainer.hpp>
#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/bridge/BridgeFactory.hpp>
#include <com/sun/star/bridge/XBridge.hpp>
#include <com/sun/star/container/XEnumerationAccess.hpp>
#include <com/sun/star/drawing/XDrawPagesSupplier.hpp>
#include <com/sun/star/frame/Desktop.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/frame/XStorable.hpp>
#include <com/sun/star/lang/XMultiServiceFactory.hpp>
#include <com/sun/star/presentation/EffectNodeType.hpp>
#include <com/sun/star/presentation/XPresentation2.hpp>
#include <com/sun/star/presentation/XPresentationPage.hpp>
#include <com/sun/star/presentation/XPresentationSupplier.hpp>
#include <com/sun/star/presentation/XSlideShowController.hpp>
#include <com/sun/star/text/XTextRange.hpp>
#include <com/sun/star/util/XCloseable.hpp>
#include <cppuhelper/bootstrap.hxx>
#include <osl/file.hxx>
#include <rtl/bootstrap.hxx>

#include <cstdio>

#include <utility>
#include <vector>

#include "platform/posix/office_pipe.h"

namespace css = com::sun::star;
using css::uno::Reference;
using css::uno::UNO_QUERY;
using css::uno::UNO_QUERY_THROW;

namespace {

// Never destroyed: at the process's end the UNO runtime has gone before the
// test's own static objects would be.
Reference<css::frame::XDesktop2>& desktop = *new Reference<css::frame::XDesktop2>;
Reference<css::uno::XComponentContext>& office = *new Reference<css::uno::XComponentContext>;
std::string connectedPipe;
// The pipe and the bridge on it, ended as the office module ends its own:
// the pipe's descriptor closed after the bridge's dispose joined its threads.
rtl::Reference<OfficePipe>& probePipe = *new rtl::Reference<OfficePipe>;
Reference<css::lang::XComponent>& probeBridge = *new Reference<css::lang::XComponent>;

rtl::OUString FromUtf8(const std::string& text) {
  return rtl::OUString(text.data(), static_cast<sal_Int32>(text.size()), RTL_TEXTENCODING_UTF8);
}

// Drops the connection, if there is one: the next use connects afresh.
void Disconnect() {
  desktop.clear();
  office.clear();
  connectedPipe.clear();
  bool threadsEnded = true;
  try {
    if (probeBridge.is()) probeBridge->dispose();
  } catch (...) {
    threadsEnded = false;
  }
  probeBridge.clear();
  if (probePipe.is() && threadsEnded) probePipe->Release();
  probePipe.clear();
}

bool Connect(const std::string& pipeName) {
  if (desktop.is() && connectedPipe == pipeName) return true;
  Disconnect();
  static Reference<css::uno::XComponentContext>& local =
      *new Reference<css::uno::XComponentContext>;
  try {
    if (!local.is()) {
      rtl::Bootstrap::set("URE_BOOTSTRAP", "vnd.sun.star.pathname:" PODIANT_LIBREOFFICE_PROGRAM_DIR
                                           "/fundamentalrc");
      local = cppu::defaultBootstrap_InitialComponentContext();
    }
    probePipe = OfficePipe::Connect(pipeName);
    if (!probePipe.is()) return false;
    Reference<css::bridge::XBridge> made = css::bridge::BridgeFactory::create(local)->createBridge(
        "", "urp", probePipe.get(), nullptr);
    probeBridge.set(made, UNO_QUERY_THROW);
    office.set(made->getInstance("StarOffice.ComponentContext"), UNO_QUERY_THROW);
    desktop = css::frame::Desktop::create(office);
    connectedPipe = pipeName;
    return true;
  } catch (...) {
    Disconnect();
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

OfficeShow ReadShow(const std::string& pipeName, const std::string& fileUrl) {
  OfficeShow state;
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
    Disconnect();  // the office went away: the next read connects afresh
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
    Disconnect();
    return false;
  }
}

// A document loaded or made without a window.
Reference<css::lang::XComponent> LoadHidden(const rtl::OUString& url) {
  css::uno::Sequence<css::beans::PropertyValue> hidden(1);
  hidden.getArray()[0].Name = "Hidden";
  hidden.getArray()[0].Value <<= true;
  return desktop->loadComponentFromURL(url, "_blank", 0, hidden);
}

bool ConvertToPptx(const std::string& pipeName, const std::string& sourceUrl,
                   const std::string& targetUrl) {
  if (!Connect(pipeName)) return false;
  try {
    Reference<css::lang::XComponent> document = LoadHidden(FromUtf8(sourceUrl));
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

namespace {

template <typename Interface>
Reference<Interface> Make(const char* service) {
  return Reference<Interface>(office->getServiceManager()->createInstanceWithContext(
                                  rtl::OUString::createFromAscii(service), office),
                              UNO_QUERY_THROW);
}

// The page's first shape of the placeholder kind `type`.
Reference<css::text::XTextRange> Placeholder(const Reference<css::drawing::XDrawPage>& page,
                                             const char* type) {
  for (sal_Int32 i = 0; i < page->getCount(); ++i) {
    Reference<css::drawing::XShape> shape(page->getByIndex(i), UNO_QUERY);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"  // the placeholders' kind
    if (shape.is() && shape->getShapeType().equalsAscii(type)) return {shape, UNO_QUERY};
#pragma GCC diagnostic pop
  }
  return nullptr;
}

css::uno::Sequence<css::beans::NamedValue> UserData(
    const std::vector<std::pair<const char*, css::uno::Any>>& values) {
  css::uno::Sequence<css::beans::NamedValue> data(static_cast<sal_Int32>(values.size()));
  for (size_t i = 0; i < values.size(); ++i) {
    data.getArray()[i] = {rtl::OUString::createFromAscii(values[i].first), values[i].second};
  }
  return data;
}

// The main sequence's click group that makes `shape` appear on the next click,
// built as the office builds its own "appear" effect.
Reference<css::animations::XAnimationNode> AppearOnClick(
    const Reference<css::drawing::XShape>& shape) {
  using namespace css::animations;
  auto set = Make<XAnimate>("com.sun.star.animations.AnimateSet");
  set->setBegin(css::uno::Any(0.0));
  set->setDuration(css::uno::Any(0.001));
  set->setFill(AnimationFill::HOLD);
  set->setTarget(css::uno::Any(shape));
  set->setAttributeName("Visibility");
  set->setTo(css::uno::Any(true));
  auto effect = Make<XTimeContainer>("com.sun.star.animations.ParallelTimeContainer");
  Reference<XAnimationNode> effectNode(effect, UNO_QUERY_THROW);
  effectNode->setBegin(css::uno::Any(0.0));
  effectNode->setFill(AnimationFill::HOLD);
  effectNode->setUserData(
      UserData({{"node-type", css::uno::Any(css::presentation::EffectNodeType::ON_CLICK)},
                {"preset-class", css::uno::Any(sal_Int16(1))},  // an entrance
                {"preset-id", css::uno::Any(rtl::OUString("ooo-entrance-appear"))}}));
  effect->appendChild(Reference<XAnimationNode>(set, UNO_QUERY_THROW));
  auto timed = Make<XTimeContainer>("com.sun.star.animations.ParallelTimeContainer");
  Reference<XAnimationNode>(timed, UNO_QUERY_THROW)->setBegin(css::uno::Any(0.0));
  timed->appendChild(effectNode);
  auto click = Make<XTimeContainer>("com.sun.star.animations.ParallelTimeContainer");
  Event next;
  next.Trigger = EventTrigger::ON_NEXT;
  Reference<XAnimationNode>(click, UNO_QUERY_THROW)->setBegin(css::uno::Any(next));
  click->appendChild(Reference<XAnimationNode>(timed, UNO_QUERY_THROW));
  return {click, UNO_QUERY_THROW};
}

}  // namespace

bool MakeDetailsPresentation(const std::string& pipeName, const std::string& path,
                             const std::string& notes) {
  struct Slide {
    const char* title;  // nullptr: the blank layout, a picture where the title would be
    std::string notes;  // empty: left as the office makes it
    bool builds, hidden;
  };
  const Slide slides[] = {{"Welcome", notes, false, false},
                          {"Builds", "Two clicks on this slide", true, false},
                          {"Hidden", "Never shown", false, true},
                          {"No notes", "", false, false},
                          {nullptr, "The title is a picture", false, false},
                          {"The end", "Last", false, false}};
  if (!Connect(pipeName)) return false;
  try {
    Reference<css::lang::XComponent> document = LoadHidden("private:factory/simpress");
    Reference<css::lang::XMultiServiceFactory> shapes(document, UNO_QUERY_THROW);
    auto pages =
        Reference<css::drawing::XDrawPagesSupplier>(document, UNO_QUERY_THROW)->getDrawPages();
    while (pages->getCount() < 6) pages->insertNewByIndex(0);
    for (sal_Int32 i = 0; i < 6; ++i) {
      const Slide& slide = slides[i];
      Reference<css::drawing::XDrawPage> page(pages->getByIndex(i), UNO_QUERY_THROW);
      Reference<css::beans::XPropertySet> properties(page, UNO_QUERY_THROW);
      // 19: the title alone; 20: blank.
      properties->setPropertyValue("Layout", css::uno::Any(sal_Int16(slide.title ? 19 : 20)));
      properties->setPropertyValue("Visible", css::uno::Any(!slide.hidden));
      if (slide.title) {
        Placeholder(page, "com.sun.star.presentation.TitleTextShape")
            ->setString(FromUtf8(slide.title));
      } else {
        Reference<css::drawing::XShape> picture(
            shapes->createInstance("com.sun.star.drawing.GraphicObjectShape"), UNO_QUERY_THROW);
        picture->setPosition({1400, 600});
        picture->setSize({25000, 2600});
        page->add(picture);
      }
      if (!slide.notes.empty()) {
        auto notesPage = Reference<css::presentation::XPresentationPage>(page, UNO_QUERY_THROW);
        Placeholder(notesPage->getNotesPage(), "com.sun.star.presentation.NotesShape")
            ->setString(FromUtf8(slide.notes));
      }
      if (!slide.builds) continue;
      auto main =
          Make<css::animations::XTimeContainer>("com.sun.star.animations.SequenceTimeContainer");
      Reference<css::animations::XAnimationNode>(main, UNO_QUERY_THROW)
          ->setUserData(UserData(
              {{"node-type", css::uno::Any(css::presentation::EffectNodeType::MAIN_SEQUENCE)}}));
      for (sal_Int32 colour : {0xff0000, 0x0000ff}) {
        Reference<css::drawing::XShape> shape(
            shapes->createInstance("com.sun.star.drawing.RectangleShape"), UNO_QUERY_THROW);
        shape->setPosition({colour == 0xff0000 ? 2000 : 14000, 8000});
        shape->setSize({8000, 6000});
        page->add(shape);
        Reference<css::beans::XPropertySet>(shape, UNO_QUERY_THROW)
            ->setPropertyValue("FillColor", css::uno::Any(colour));
        main->appendChild(AppearOnClick(shape));
      }
      Reference<css::animations::XTimeContainer>(
          Reference<css::animations::XAnimationNodeSupplier>(page, UNO_QUERY_THROW)
              ->getAnimationNode(),
          UNO_QUERY_THROW)
          ->appendChild(Reference<css::animations::XAnimationNode>(main, UNO_QUERY_THROW));
    }
    css::uno::Sequence<css::beans::PropertyValue> filter(1);
    filter.getArray()[0].Name = "FilterName";
    filter.getArray()[0].Value <<= rtl::OUString("impress8");
    Reference<css::frame::XStorable>(document, UNO_QUERY_THROW)
        ->storeToURL(FromUtf8(OfficeFileUrl(path)), filter);
    Reference<css::util::XCloseable>(document, UNO_QUERY_THROW)->close(true);
    return true;
  } catch (const css::uno::Exception& failure) {
    std::fprintf(stderr, "MakeDetailsPresentation: %s\n",
                 rtl::OUStringToOString(failure.Message, RTL_TEXTENCODING_UTF8).getStr());
    Disconnect();
    return false;
  } catch (...) {
    return false;
  }
}

std::string OfficeFileUrl(const std::string& path) {
  rtl::OUString url;
  osl::FileBase::getFileURLFromSystemPath(FromUtf8(path), url);
  return rtl::OUStringToOString(url, RTL_TEXTENCODING_UTF8).getStr();
}
