#include "PhysicsEffects.h"

#include <com/sun/star/animations/AnimationCalcMode.hpp>
#include <com/sun/star/animations/AnimationNodeType.hpp>
#include <com/sun/star/animations/XAnimate.hpp>
#include <com/sun/star/animations/XAnimatePhysics.hpp>
#include <com/sun/star/animations/XAnimationNode.hpp>
#include <com/sun/star/animations/XAnimationNodeSupplier.hpp>
#include <com/sun/star/animations/XTimeContainer.hpp>
#include <com/sun/star/awt/Point.hpp>
#include <com/sun/star/awt/Size.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/beans/XPropertySetInfo.hpp>
#include <com/sun/star/container/XEnumeration.hpp>
#include <com/sun/star/container/XEnumerationAccess.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/drawing/XDrawPage.hpp>
#include <com/sun/star/drawing/XDrawPages.hpp>
#include <com/sun/star/drawing/XDrawPagesSupplier.hpp>
#include <com/sun/star/drawing/XShape.hpp>
#include <com/sun/star/lang/XMultiComponentFactory.hpp>

#include <cmath>
#include <cstdio>
#include <vector>

#include "PhysicsFall.h"

using namespace css;

namespace {

// The office's bounciness where a physics node sets none. (Its density changes nothing for
// one body among fixed walls.)
constexpr double kDefaultBounciness = 0.1;
// Degrees of turn below which the shape counts as not turning (no rotation is written).
constexpr double kLeastTurn = 0.05;
// Seconds between the samples of the path: close enough that the straight pieces between
// them follow a bounce's curve.
constexpr double kSampleInterval = 1.0 / 30;

double Number(const uno::Any& value, double fallback) {
  double number = fallback;
  return value.hasValue() && (value >>= number) ? number : fallback;
}

void Collect(const uno::Reference<animations::XAnimationNode>& node,
             std::vector<uno::Reference<animations::XAnimatePhysics>>& found) {
  if (!node.is()) return;
  if (node->getType() == animations::AnimationNodeType::ANIMATEPHYSICS) {
    uno::Reference<animations::XAnimatePhysics> physics(node, uno::UNO_QUERY);
    if (physics.is()) found.push_back(physics);
    return;
  }
  uno::Reference<container::XEnumerationAccess> children(node, uno::UNO_QUERY);
  if (!children.is()) return;
  uno::Reference<container::XEnumeration> each = children->createEnumeration();
  while (each.is() && each->hasMoreElements())
    Collect(uno::Reference<animations::XAnimationNode>(each->nextElement(), uno::UNO_QUERY), found);
}

// "x+0.01234": the start value (the shape's own centre) moved by a fraction of the slide.
rtl::OUString Offset(const char* variable, double fraction) {
  char text[48];
  std::snprintf(text, sizeof text, "%s%+.5f", variable, fraction);
  return rtl::OUString::createFromAscii(text);
}

uno::Reference<animations::XAnimationNode> Animation(const uno::Reference<animations::XAnimatePhysics>& physics,
                                               const uno::Reference<uno::XComponentContext>& context,
                                               const char* attribute, const uno::Sequence<double>& keyTimes,
                                               const uno::Sequence<uno::Any>& values) {
  uno::Reference<animations::XAnimate> animate(
      context->getServiceManager()->createInstanceWithContext("com.sun.star.animations.Animate", context),
      uno::UNO_QUERY_THROW);
  animate->setBegin(physics->getBegin());
  animate->setDuration(physics->getDuration());
  animate->setFill(physics->getFill());
  animate->setTarget(physics->getTarget());
  animate->setSubItem(physics->getSubItem());
  animate->setAttributeName(rtl::OUString::createFromAscii(attribute));
  animate->setCalcMode(animations::AnimationCalcMode::LINEAR);
  animate->setKeyTimes(keyTimes);
  animate->setValues(values);
  return uno::Reference<animations::XAnimationNode>(animate, uno::UNO_QUERY_THROW);
}

bool Flag(const uno::Reference<beans::XPropertySet>& props, const char* name, bool fallback) {
  const rtl::OUString property = rtl::OUString::createFromAscii(name);
  uno::Reference<beans::XPropertySetInfo> info = props.is() ? props->getPropertySetInfo() : nullptr;
  if (!info.is() || !info->hasPropertyByName(property)) return fallback;
  bool value = fallback;
  props->getPropertyValue(property) >>= value;
  return value;
}

// The slide's shapes the show draws (not hidden, not an empty placeholder), by their bounds.
struct SlideShape {
  uno::Reference<drawing::XShape> shape;
  PhysicsFall::Bounds bounds;
};

std::vector<SlideShape> ShownShapes(const uno::Reference<drawing::XDrawPage>& page) {
  std::vector<SlideShape> shapes;
  uno::Reference<container::XIndexAccess> all(page, uno::UNO_QUERY);
  const sal_Int32 count = all.is() ? all->getCount() : 0;
  for (sal_Int32 i = 0; i < count; ++i) {
    try {
      uno::Reference<drawing::XShape> shape(all->getByIndex(i), uno::UNO_QUERY);
      uno::Reference<beans::XPropertySet> props(shape, uno::UNO_QUERY);
      if (!shape.is() || !Flag(props, "Visible", true) || Flag(props, "IsEmptyPresentationObject", false)) continue;
      const awt::Point at = shape->getPosition();
      const awt::Size size = shape->getSize();
      shapes.push_back({shape, {double(at.X), double(at.Y), double(size.Width), double(size.Height)}});
    } catch (const uno::Exception&) {
    }
  }
  return shapes;
}

bool ReplaceOne(const uno::Reference<animations::XAnimatePhysics>& physics, double slideWidth, double slideHeight,
                const std::vector<SlideShape>& slideShapes, const uno::Reference<uno::XComponentContext>& context) {
  uno::Reference<drawing::XShape> shape(physics->getTarget(), uno::UNO_QUERY);
  uno::Reference<animations::XTimeContainer> parent(physics->getParent(), uno::UNO_QUERY);
  if (!shape.is() || !parent.is()) return false;
  PhysicsFall::Start start;
  start.slideWidth = slideWidth;
  start.slideHeight = slideHeight;
  const awt::Point at = shape->getPosition();
  const awt::Size size = shape->getSize();
  start.x = at.X;
  start.y = at.Y;
  start.width = size.Width;
  start.height = size.Height;
  start.velocityX = Number(physics->getStartVelocityX(), 0);
  start.velocityY = Number(physics->getStartVelocityY(), 0);
  start.bounciness = Number(physics->getBounciness(), kDefaultBounciness);
  start.duration = Number(physics->getDuration(), 0);
  for (const SlideShape& other : slideShapes)
    if (other.shape != shape) start.obstacles.push_back(other.bounds);
  const std::vector<PhysicsFall::Sample> samples = PhysicsFall::Simulate(start, kSampleInterval);
  if (samples.size() < 2) return false;
  uno::Sequence<double> keyTimes(static_cast<sal_Int32>(samples.size()));
  uno::Sequence<uno::Any> xs(keyTimes.getLength()), ys(keyTimes.getLength()), angles(keyTimes.getLength());
  bool turns = false;
  for (size_t i = 0; i < samples.size(); ++i) {
    keyTimes.getArray()[i] = samples[i].time / start.duration;
    xs.getArray()[i] <<= Offset("x", samples[i].dx / slideWidth);
    ys.getArray()[i] <<= Offset("y", samples[i].dy / slideHeight);
    angles.getArray()[i] <<= samples[i].angle;
    turns = turns || std::abs(samples[i].angle) > kLeastTurn;
  }
  const uno::Reference<animations::XAnimationNode> node(physics, uno::UNO_QUERY_THROW);
  parent->insertBefore(Animation(physics, context, "X", keyTimes, xs), node);
  parent->insertBefore(Animation(physics, context, "Y", keyTimes, ys), node);
  if (turns) parent->insertBefore(Animation(physics, context, "Rotate", keyTimes, angles), node);
  parent->removeChild(node);
  return true;
}

}  // namespace

int PhysicsEffects::Replace(const uno::Reference<lang::XComponent>& document,
                            const uno::Reference<uno::XComponentContext>& context) {
  int replaced = 0;
  try {
    uno::Reference<drawing::XDrawPagesSupplier> supplier(document, uno::UNO_QUERY);
    if (!supplier.is() || !context.is()) return 0;
    uno::Reference<drawing::XDrawPages> pages = supplier->getDrawPages();
    const sal_Int32 count = pages.is() ? pages->getCount() : 0;
    for (sal_Int32 i = 0; i < count; ++i) {
      try {
        uno::Reference<drawing::XDrawPage> page(pages->getByIndex(i), uno::UNO_QUERY);
        uno::Reference<animations::XAnimationNodeSupplier> nodes(page, uno::UNO_QUERY);
        uno::Reference<beans::XPropertySet> props(page, uno::UNO_QUERY);
        if (!nodes.is() || !props.is()) continue;
        std::vector<uno::Reference<animations::XAnimatePhysics>> found;
        Collect(nodes->getAnimationNode(), found);
        if (found.empty()) continue;
        sal_Int32 width = 0, height = 0;
        props->getPropertyValue("Width") >>= width;
        props->getPropertyValue("Height") >>= height;
        const std::vector<SlideShape> shapes = ShownShapes(page);
        for (const auto& physics : found) {
          try {
            if (ReplaceOne(physics, width, height, shapes, context)) ++replaced;
          } catch (const uno::Exception&) {
            // this node stays as it is
          }
        }
      } catch (const uno::Exception&) {
        // the slide stays as it is
      }
    }
  } catch (const uno::Exception&) {
  }
  return replaced;
}
