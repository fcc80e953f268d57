#include "PhysicsFall.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kWorldMetres = 100;      // the slide's larger side in the office's world
constexpr double kGravity = 30;           // m/s^2
constexpr double kBounceThreshold = 1;    // m/s: slower impacts do not bounce
constexpr double kFriction = 0.2449;      // sqrt(shape 0.3 x walls 0.2), mixed as the world mixes them
constexpr double kStep = 1.0 / 600;       // seconds
constexpr double kEdgeHalfWidth = 0.1;    // m: a line's half thickness in the office's world

// One contact of a velocity component `normal` running into a wall (positive: into it). The
// bounce reverses it, scaled by the bounciness; the impulse that took brakes `tangent` by
// the friction's share of it.
void Collide(double& normal, double& tangent, double bounciness, double threshold) {
  if (normal <= 0) return;
  const double after = normal > threshold ? -bounciness * normal : 0;
  const double impulse = normal - after;
  const double brake = std::min(std::abs(tangent), kFriction * impulse);
  tangent -= std::copysign(brake, tangent);
  normal = after;
}

}  // namespace

std::vector<PhysicsFall::Sample> PhysicsFall::Simulate(const Start& s, double interval) {
  std::vector<Sample> samples;
  if (!(s.slideWidth > 0) || !(s.slideHeight > 0) || !(s.duration > 0) || !(interval > 0)) return samples;
  const double metre = std::max(s.slideWidth, s.slideHeight) / kWorldMetres;  // units per metre
  const double gravity = kGravity * metre;
  const double threshold = kBounceThreshold * metre;
  const double bounciness = std::clamp(s.bounciness, 0.0, 1.0);
  const double hw = std::min(std::max(s.width, 0.0), s.slideWidth) / 2;
  const double hh = std::min(std::max(s.height, 0.0), s.slideHeight) / 2;
  const double startX = s.x + std::max(s.width, 0.0) / 2, startY = s.y + std::max(s.height, 0.0) / 2;
  const double slack = 1e-6 * metre;
  const bool inside = s.x >= -slack && s.y >= -slack && s.x + s.width <= s.slideWidth + slack &&
                      s.y + s.height <= s.slideHeight + slack;
  // The obstacles the shape does not overlap at its start, as left, top, right, bottom.
  struct Box {
    double left, top, right, bottom;
  };
  std::vector<Box> obstacles;
  const double edge = kEdgeHalfWidth * metre;  // lines are edges of some thickness
  for (const Bounds& o : s.obstacles) {
    const double ex = std::max(0.0, edge - std::max(o.width, 0.0) / 2), ey = std::max(0.0, edge - std::max(o.height, 0.0) / 2);
    const Box box{o.x - ex, o.y - ey, o.x + std::max(o.width, 0.0) + ex, o.y + std::max(o.height, 0.0) + ey};
    const bool overlaps = box.left < startX + hw && box.right > startX - hw && box.top < startY + hh && box.bottom > startY - hh;
    if (!overlaps) obstacles.push_back(box);
  }
  double cx = startX, cy = startY, vx = s.velocityX, vy = s.velocityY;
  const long steps = std::lround(std::ceil(s.duration / kStep));
  double nextSample = 0;
  for (long i = 0; i <= steps; ++i) {
    const double t = std::min(s.duration, i * kStep);
    while (nextSample <= t + 1e-9 && nextSample < s.duration - 1e-9) {
      samples.push_back({nextSample, cx - startX, cy - startY});
      nextSample += interval;
    }
    if (i == steps) break;
    vy += gravity * kStep;
    cx += vx * kStep;
    cy += vy * kStep;
    for (const Box& o : obstacles) {
      const double overlapX = std::min(cx + hw, o.right) - std::max(cx - hw, o.left);
      const double overlapY = std::min(cy + hh, o.bottom) - std::max(cy - hh, o.top);
      if (overlapX <= 0 || overlapY <= 0) continue;
      // Pushed out the shortest way; the velocity into the obstacle bounces.
      if (overlapY <= overlapX) {
        const bool above = cy < (o.top + o.bottom) / 2;
        cy += above ? -overlapY : overlapY;
        double into = above ? vy : -vy;
        Collide(into, vx, bounciness, threshold);
        vy = above ? into : -into;
      } else {
        const bool left = cx < (o.left + o.right) / 2;
        cx += left ? -overlapX : overlapX;
        double into = left ? vx : -vx;
        Collide(into, vy, bounciness, threshold);
        vx = left ? into : -into;
      }
    }
    if (!inside) continue;
    if (cy + hh >= s.slideHeight) {
      cy = s.slideHeight - hh;
      Collide(vy, vx, bounciness, threshold);
    } else if (cy - hh <= 0) {
      cy = hh;
      double up = -vy;
      Collide(up, vx, bounciness, threshold);
      vy = -up;
    }
    if (cx + hw >= s.slideWidth) {
      cx = s.slideWidth - hw;
      Collide(vx, vy, bounciness, threshold);
    } else if (cx - hw <= 0) {
      cx = hw;
      double left = -vx;
      Collide(left, vy, bounciness, threshold);
      vx = -left;
    }
  }
  samples.push_back({s.duration, cx - startX, cy - startY});
  return samples;
}
