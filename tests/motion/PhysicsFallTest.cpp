// The path of the office's physics effects (export/PhysicsFall.h): gravity, the slide's edges
// and other shapes as walls, bounces, turns and rest.
#include <gtest/gtest.h>

#include <algorithm>

#include "PhysicsFall.h"

namespace {

// The test deck's box on its 25.4 x 19.05 cm slide, in 1/100 mm.
PhysicsFall::Start Box() {
  PhysicsFall::Start start;
  start.slideWidth = 25400;
  start.slideHeight = 19050;
  start.x = 7700;
  start.y = 6500;
  start.width = 10000;
  start.height = 6000;
  start.duration = 4;
  return start;
}

TEST(PhysicsFall, AShapeFallsBouncesOffTheSlidesBottomAndComesToRestOnIt) {
  PhysicsFall::Start start = Box();
  start.bounciness = 0.6;
  const std::vector<PhysicsFall::Sample> path = PhysicsFall::Simulate(start, 0.05);
  ASSERT_EQ(path.size(), 81u);
  EXPECT_DOUBLE_EQ(path.back().time, 4);
  const double floor = 19050 - 12500;  // how far the box's bottom is above the slide's
  size_t landed = 0;
  for (size_t i = 0; i < path.size(); ++i) {
    EXPECT_EQ(path[i].dx, 0) << i;
    EXPECT_LE(path[i].dy, floor + 1e-6) << "below the slide at " << path[i].time;
    if (landed == 0 && path[i].dy > floor - 600) landed = i;  // within a sample's fall
  }
  ASSERT_GT(landed, 5u) << "it falls, not jumps";
  EXPECT_LT(path[landed].time, 2.5);
  const double rebound = std::min_element(path.begin() + landed, path.end(), [](auto& a, auto& b) { return a.dy < b.dy; })->dy;
  EXPECT_LT(rebound, floor - 1000) << "bounces up";
  // Hardly bouncy (the office's default): it stays on the floor once it has landed.
  start.bounciness = 0.1;
  const std::vector<PhysicsFall::Sample> dull = PhysicsFall::Simulate(start, 0.05);
  for (size_t i = landed + 4; i < dull.size(); ++i) EXPECT_GT(dull[i].dy, floor - 200) << dull[i].time;
  // The world's bodies keep a skin of a centimetre between them: 4 of these units.
  EXPECT_NEAR(dull.back().dy, floor, 10) << "rests on the bottom";
  for (const PhysicsFall::Sample& s : dull) EXPECT_NEAR(s.angle, 0, 0.05) << "landing flat, it does not turn";
  // Another shape below it is a floor too; one it overlaps at the start is not.
  start.obstacles = {{2000, 15000, 20000, 1000}, {8000, 7000, 1000, 1000}};
  EXPECT_NEAR(PhysicsFall::Simulate(start, 0.05).back().dy, 15000 - 12500, 10) << "rests on the shape below";
  // Landing with only its left quarter on a shape's corner, it tips over to the right and
  // comes down on the floor beyond, turned.
  start.obstacles = {{0, 15000, 10200, 1000}};
  const std::vector<PhysicsFall::Sample> tipped = PhysicsFall::Simulate(start, 0.05);
  double most = 0;
  for (const PhysicsFall::Sample& s : tipped) most = std::max(most, s.angle);
  EXPECT_GT(most, 20) << "turns clockwise over the corner";
  EXPECT_GT(tipped.back().dx, 0) << "goes off to the right";
  EXPECT_GT(tipped.back().dy, 15000 - 12500) << "falls past the shape's top";
}

TEST(PhysicsFall, AShotShapeStopsAtTheSlidesEdgeAndAShapeOffTheSlideFallsFreely) {
  PhysicsFall::Start start = Box();
  start.bounciness = 0.6;
  start.velocityX = 10000;
  const std::vector<PhysicsFall::Sample> path = PhysicsFall::Simulate(start, 0.01);
  double furthest = 0;
  for (const PhysicsFall::Sample& s : path) furthest = std::max(furthest, s.dx);
  EXPECT_LE(furthest, 25400 - 17700 + 1e-6) << "no further than the right edge";
  EXPECT_GT(furthest, 25400 - 17700 - 150) << "reaches the right edge";
  EXPECT_LT(path.back().dx, furthest) << "bounced back off it";
  start.y = -7000;  // above the slide
  const std::vector<PhysicsFall::Sample> free = PhysicsFall::Simulate(start, 0.5);
  EXPECT_NEAR(free[2].dy, 0.5 * 0.3 * 25400, 30) << "30 m/s^2 in a world 100 m wide";
  EXPECT_TRUE(PhysicsFall::Simulate(PhysicsFall::Start(), 0.05).empty());
}

}  // namespace
