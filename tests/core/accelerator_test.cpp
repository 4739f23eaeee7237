#include "core/accelerator.h"

#include <gtest/gtest.h>

using namespace tallyhost;

TEST(Accelerator, LetterIsTheFirstMarkedCharacter)
{
    EXPECT_EQ(AcceleratorLetter("&Code"), 'C');
    EXPECT_EQ(AcceleratorLetter("Co&mmands"), 'M');
    EXPECT_EQ(AcceleratorLetter("Fish && &chips"), 'C');
    EXPECT_EQ(AcceleratorLetter("R&&D"), 0);
    EXPECT_EQ(AcceleratorLetter("Code"), 0);
    EXPECT_EQ(AcceleratorLetter("Trailing&"), 0);
    EXPECT_EQ(AcceleratorLetter("&1st"), '1');
}

TEST(Accelerator, TakenLettersMoveToTheFirstFreeCharacter)
{
    std::string taken = "SRCMAF";
    EXPECT_EQ(AvoidTakenAccelerator("&Code", taken), "C&ode");
    EXPECT_EQ(taken, "SRCMAFO");
    // The next clash skips the letter just given away.
    EXPECT_EQ(AvoidTakenAccelerator("&Cost", taken), "Cos&t");
    EXPECT_EQ(taken, "SRCMAFOT");
    // A free letter is kept, and taken from then on.
    EXPECT_EQ(AvoidTakenAccelerator("&Name", taken), "&Name");
    EXPECT_EQ(taken, "SRCMAFOTN");
    // A plain "&" is neither a mark nor a place for one.
    EXPECT_EQ(AvoidTakenAccelerator("&S&&a", taken), "S&&a");
    EXPECT_EQ(AvoidTakenAccelerator("&S&&b", taken), "S&&&b");
    // No free character: the mark goes.
    std::string all = "ACS";
    EXPECT_EQ(AvoidTakenAccelerator("&Cs-A", all), "Cs-A");
    EXPECT_EQ(AvoidTakenAccelerator("No mark", all), "No mark");
    EXPECT_EQ(all, "ACS");
}

TEST(Accelerator, PlacedCaptionsKeepFreeMarksAndMoveClashingOnes)
{
    // "&Code" clashes; "C&ost" keeps its O, so Code moves past it; "&Day" keeps D.
    const std::vector<std::string> placed =
        PlaceAccelerators({"&Code", "C&ost", "&Day", "Plain"}, "SRCMAF");
    EXPECT_EQ(placed, (std::vector<std::string>{"Cod&e", "C&ost", "&Day", "Plain"}));
}
