#pragma once
// The way a shape moves under the office's physics effects (fall, shoot and return...): it
// becomes a rigid body in a two-dimensional world (Box2D, the engine the office's own show
// runs them in) as big as the slide, whose larger side counts 100 metres, with a gravity of
// 30 m/s^2 downwards and the slide's four edges as walls. The body starts with the effect's
// velocity (slide units per second, y downwards), rubs on what it touches, bounces as far as
// its bounciness lets it (an impact slower than 1 m/s does not bounce) and turns where a
// corner or the rubbing gives it a turn: a box that lands flat on a flat floor does not turn,
// one shot along the floor or landing on an edge does. The slide's other shapes stand fixed
// in that world, each as its bounds (one the shape overlaps at the start is passed through;
// a line counts 0.2 m thick). A shape that does not start inside the slide falls past the
// edges.
//
// Deterministic: fixed steps, the same numbers on every run. Pure computation, no office.
//
// Threads: any thread; no shared state.

#include <vector>

class PhysicsFall {
 public:
  struct Bounds {
    double x = 0, y = 0, width = 0, height = 0;  // top left, size
  };
  struct Start {
    double slideWidth = 0, slideHeight = 0;  // any length unit; the results are in the same
    double x = 0, y = 0, width = 0, height = 0;  // the shape's bounds on the slide (top left, size)
    double velocityX = 0, velocityY = 0;         // units per second; y grows downwards
    double bounciness = 0.1;                     // 0 (stays where it lands) to 1
    double duration = 1;                         // seconds
    std::vector<Bounds> obstacles;               // the slide's other shapes
  };
  // Where the shape's centre is at `time`, as an offset from where it started, and how far
  // it has turned (degrees, clockwise on the slide).
  struct Sample {
    double time = 0;
    double dx = 0, dy = 0;
    double angle = 0;
  };

  // Samples every `interval` seconds from 0, and one at the end (duration); empty when the
  // start is unusable (no slide size, no duration, a non-positive interval).
  static std::vector<Sample> Simulate(const Start& start, double interval);
};
