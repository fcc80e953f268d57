#include "PhysicsFall.h"

#include <box2d/box2d.h>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

constexpr double kWorldMetres = 100;   // the slide's larger side in the office's world
constexpr float kGravity = 30;         // m/s^2, downwards (the world's y grows downwards too)
constexpr float kShapeFriction = 0.3f;
constexpr float kWallFriction = 0.2f;  // the slide's edges and its other shapes
constexpr float kDensity = 1;          // kg/m^2: a lone body's motion does not depend on it
constexpr double kStep = 1.0 / 240;    // seconds
constexpr int kVelocityIterations = 8;
constexpr int kPositionIterations = 3;
constexpr double kEdgeHalfWidth = 0.1;  // m: a line's half thickness in the office's world
constexpr double kSmallest = 0.01;      // m: a shape's least half size (a line still has a body)

// A fixed box of the world, centred at (cx, cy) metres.
void AddWall(b2Body& walls, double cx, double cy, double hw, double hh) {
  b2PolygonShape box;
  box.SetAsBox(static_cast<float>(hw), static_cast<float>(hh), b2Vec2(static_cast<float>(cx), static_cast<float>(cy)), 0);
  b2FixtureDef fixture;
  fixture.shape = &box;
  fixture.friction = kWallFriction;
  fixture.restitution = 0;  // the world bounces by the larger of the two: the shape's
  walls.CreateFixture(&fixture);
}

}  // namespace

std::vector<PhysicsFall::Sample> PhysicsFall::Simulate(const Start& s, double interval) {
  std::vector<Sample> samples;
  if (!(s.slideWidth > 0) || !(s.slideHeight > 0) || !(s.duration > 0) || !(interval > 0) ||
      !std::isfinite(s.duration) || !std::isfinite(interval) || s.duration / interval > 1e6)
    return samples;
  const double metre = std::max(s.slideWidth, s.slideHeight) / kWorldMetres;  // units per metre
  const double width = std::clamp(s.width, 0.0, s.slideWidth), height = std::clamp(s.height, 0.0, s.slideHeight);
  const double startX = (s.x + std::max(s.width, 0.0) / 2) / metre, startY = (s.y + std::max(s.height, 0.0) / 2) / metre;
  const double hw = std::max(width / 2 / metre, kSmallest), hh = std::max(height / 2 / metre, kSmallest);
  const double slack = 1e-6 * metre;
  const bool inside = s.x >= -slack && s.y >= -slack && s.x + s.width <= s.slideWidth + slack &&
                      s.y + s.height <= s.slideHeight + slack;
  if (!std::isfinite(startX) || !std::isfinite(startY) || !std::isfinite(s.velocityX) || !std::isfinite(s.velocityY))
    return samples;

  b2World world(b2Vec2(0, kGravity));
  b2BodyDef fixed;
  b2Body& walls = *world.CreateBody(&fixed);
  const double w = s.slideWidth / metre, h = s.slideHeight / metre, wall = 10;  // walls 10 m thick
  if (inside) {
    AddWall(walls, w / 2, h + wall, w / 2 + 2 * wall, wall);  // floor
    AddWall(walls, w / 2, -wall, w / 2 + 2 * wall, wall);     // ceiling
    AddWall(walls, -wall, h / 2, wall, h / 2 + 2 * wall);
    AddWall(walls, w + wall, h / 2, wall, h / 2 + 2 * wall);
  }
  for (const Bounds& o : s.obstacles) {
    const double ow = std::max(o.width, 0.0) / 2 / metre, oh = std::max(o.height, 0.0) / 2 / metre;
    const double cx = o.x / metre + ow, cy = o.y / metre + oh;
    const double ex = std::max(ow, kEdgeHalfWidth), ey = std::max(oh, kEdgeHalfWidth);
    if (!std::isfinite(cx) || !std::isfinite(cy)) continue;
    const bool overlaps = std::abs(cx - startX) < ex + hw && std::abs(cy - startY) < ey + hh;
    if (!overlaps) AddWall(walls, cx, cy, ex, ey);
  }

  b2BodyDef moving;
  moving.type = b2_dynamicBody;
  moving.position.Set(static_cast<float>(startX), static_cast<float>(startY));
  moving.linearVelocity.Set(static_cast<float>(s.velocityX / metre), static_cast<float>(s.velocityY / metre));
  moving.bullet = true;  // a fast shot does not tunnel through a thin shape
  b2Body& body = *world.CreateBody(&moving);
  b2PolygonShape box;
  box.SetAsBox(static_cast<float>(hw), static_cast<float>(hh));
  b2FixtureDef fixture;
  fixture.shape = &box;
  fixture.density = kDensity;
  fixture.friction = kShapeFriction;
  fixture.restitution = static_cast<float>(std::clamp(s.bounciness, 0.0, 1.0));
  body.CreateFixture(&fixture);

  auto sample = [&](double time) {
    const b2Vec2 at = body.GetPosition();
    samples.push_back({time, (at.x - startX) * metre, (at.y - startY) * metre,
                       body.GetAngle() * 180 / std::numbers::pi});
  };
  const long steps = std::lround(std::ceil(s.duration / kStep - 1e-9));
  double nextSample = 0;
  for (long i = 0; i <= steps; ++i) {
    const double t = std::min(s.duration, i * kStep);
    while (nextSample <= t + 1e-9 && nextSample < s.duration - 1e-9) {
      sample(nextSample);
      nextSample += interval;
    }
    if (i == steps) break;
    world.Step(static_cast<float>(kStep), kVelocityIterations, kPositionIterations);
  }
  sample(s.duration);
  return samples;
}
