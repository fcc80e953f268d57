// Resident memory and processor time of this process and every process it started (the
// browser's renderer and helpers, the office), read from /proc. For the batch command's
// --stats counters, which the benchmarks read; nothing else depends on them.
//
// Threads: any thread; an object is used by one thread at a time.
#pragma once

class ProcessStats {
 public:
  // Resident memory of this process and its descendants, in megabytes.
  static double TreeRssMb();
  // Resident memory of this process alone, in megabytes.
  static double SelfRssMb();
  // Processor seconds (user and system) used so far by this process, by the children
  // it has reaped and by every descendant still running.
  static double TreeCpuSeconds();
  // Seconds since this process started (to the kernel's clock tick).
  static double ProcessAgeSeconds();

  // Takes a memory sample during a show: keeps the peak, and the figures at the first
  // slide and at the last one.
  void sample(int currentSlide, int slideCount);
  // Forgets the samples (before the next file of a run).
  void reset() { *this = ProcessStats(); }

  double peakRssMb() const { return peakRssMb_; }
  double firstSlideRssMb() const { return firstSlideRssMb_; }
  double lastSlideRssMb() const { return lastSlideRssMb_; }
  double firstSlideSelfRssMb() const { return firstSlideSelfRssMb_; }
  double lastSlideSelfRssMb() const { return lastSlideSelfRssMb_; }

 private:
  double peakRssMb_ = 0;
  double firstSlideRssMb_ = 0;
  double lastSlideRssMb_ = 0;
  double firstSlideSelfRssMb_ = 0;
  double lastSlideSelfRssMb_ = 0;
};
