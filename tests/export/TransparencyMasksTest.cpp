// The export's transparency masks, mended to the opacity the office draws.
#include <gtest/gtest.h>

#include <string>

#include "TransparencyMasks.h"

namespace {

std::string Stops(int a, int b) {
  return "<mask id=\"mask1\"><g><defs><linearGradient id=\"gradient1\"><stop offset=\"0\" "
         "style=\"stop-color:rgb(" + std::to_string(a) + "," + std::to_string(a) + "," + std::to_string(a) +
         ")\"/><stop offset=\"1\" style=\"stop-color:rgb(" + std::to_string(b) + "," + std::to_string(b) + "," +
         std::to_string(b) + ")\"/></linearGradient></defs><path style=\"fill:url(#gradient1)\"/></g></mask>";
}

TEST(TransparencyMasks, EachGreyBecomesTheOpacityOfItsOwnPlace) {
  // Opacity 80 % to 40 % (as the office draws it) was written 60 % to 20 %.
  EXPECT_EQ(TransparencyMasks::Apply("<g>" + Stops(153, 51) + "</g>" + Stops(63, 0)),
            "<g>" + Stops(204, 102) + "</g>" + Stops(255, 192));
  // The stepped rings of a radial gradient, outside in.
  EXPECT_EQ(TransparencyMasks::Apply("<mask><path fill=\"rgb(153,153,153)\"/><path fill=\"rgb(100,100,100)\"/>"
                                     "<path fill=\"rgb(51,51,51)\"/></mask>"),
            "<mask><path fill=\"rgb(204,204,204)\"/><path fill=\"rgb(151,151,151)\"/>"
            "<path fill=\"rgb(102,102,102)\"/></mask>");
  // Clear to opaque comes out right already; one grey, colours, pictures, a cut-off mask:
  // left alone.
  for (const std::string& same :
       {Stops(255, 0), Stops(0, 255), Stops(90, 90), std::string("<mask><path fill=\"rgb(10,20,30)\"/>"
                                                                 "<path fill=\"rgb(51,51,51)\"/></mask>"),
        std::string("<mask><image/><path fill=\"rgb(51,51,51)\"/><path fill=\"rgb(9,9,9)\"/></mask>"),
        std::string("<mask><path fill=\"rgb(51,51,51)\"/>")})
    EXPECT_EQ(TransparencyMasks::Apply(same), same);
}

}  // namespace
