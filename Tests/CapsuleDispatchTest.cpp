// Capsule intake from capsule HOBs and routing by GUID.
#include "CapsuleBuilder.h"
#include "DriverFixture.h"

using namespace Harness;

namespace {

const EFI_GUID  KindA    = { 0x11111111, 0x2222, 0x3333, { 1, 2, 3, 4, 5, 6, 7, 8 } };
const EFI_GUID  KindB    = { 0x44444444, 0x5555, 0x6666, { 1, 2, 3, 4, 5, 6, 7, 8 } };
const EFI_GUID  Wrapper1 = { 0x0053e4ba, 0x9d91, 0x52aa, { 0xb9, 0x5b, 0x2b, 0x5c, 0x1c, 0xf7, 0x56, 0xf9 } };
const EFI_GUID  Wrapper2 = { 0x69585d92, 0xb50a, 0x4ad7, { 0xb2, 0x65, 0x2e, 0xb1, 0xae, 0x06, 0x65, 0x74 } };
const EFI_GUID  Wrapper5 = { 0xeed54281, 0x1c11, 0x4358, { 0xbf, 0x5a, 0xf6, 0x49, 0x95, 0xfb, 0xf1, 0x1b } };

}  // namespace

class DispatchTest : public DriverTest {
protected:
  RecordingHandler    HandlerA;
  RecordingHandler    HandlerB;
  Host::HobListBuilder Hobs;

  void SetUp () override
  {
    DriverTest::SetUp ();
    InstallHandler (KindA, HandlerA);
    InstallHandler (KindB, HandlerB);
  }
};

TEST_F (DispatchTest, CapsuleHobsReachTheirHandlersInListOrderWithThreeArguments)
{
  Bytes  First  = MakeCapsule (KindA, { 1, 2, 3 });
  Bytes  Second = MakeCapsule (KindB, Bytes (100, 7));
  Bytes  Third  = MakeCapsule (KindA, {});

  Hobs.AddCapsule (First.data (), First.size ())
    .AddHob (EFI_HOB_TYPE_RESOURCE_DESCRIPTOR, 48)
    .AddCapsule (Second.data (), Second.size ())
    .AddCapsule (Third.data (), Third.size ())
    .Install (Platform);

  EXPECT_EQ (RunPass (), PassEnd::Returned);

  ASSERT_EQ (HandlerA.Calls.size (), 2u);
  ASSERT_EQ (HandlerB.Calls.size (), 1u);
  EXPECT_EQ (HandlerA.Calls[0].This, &HandlerA.Protocol);
  EXPECT_EQ ((const UINT8 *)HandlerA.Calls[0].Capsule, First.data ());
  EXPECT_EQ (HandlerA.Calls[0].Size, First.size ());
  EXPECT_EQ ((const UINT8 *)HandlerB.Calls[0].Capsule, Second.data ());
  EXPECT_EQ (HandlerB.Calls[0].Size, Second.size ());
  EXPECT_EQ ((const UINT8 *)HandlerA.Calls[1].Capsule, Third.data ());
  EXPECT_TRUE (HandlerA.Calls[0].FromHob);

  // The order across handlers: A, then B, then A again.
  auto  Lookups = Platform.CallsStartingWith ("LocateProtocol");
  ASSERT_EQ (Lookups.size (), 3u);
  EXPECT_EQ (Lookups[0], "LocateProtocol " + Host::GuidName (KindA));
  EXPECT_EQ (Lookups[1], "LocateProtocol " + Host::GuidName (KindB));
  EXPECT_EQ (Lookups[2], "LocateProtocol " + Host::GuidName (KindA));
}

TEST_F (DispatchTest, ACapsuleWithoutHandlerIsDroppedSilently)
{
  const EFI_GUID  Unknown = { 0x99999999, 0, 0, { 0 } };
  Bytes           Capsule = MakeCapsule (Unknown, { 1 });

  Hobs.AddCapsule (Capsule.data (), Capsule.size ()).Install (Platform);

  EXPECT_EQ (RunPass (), PassEnd::Returned);
  EXPECT_TRUE (HandlerA.Calls.empty ());
  // No trace: the end-of-pass "CapsuleMax" is the only variable written.
  ASSERT_EQ (Platform.CallsStartingWith ("SetVariable").size (), 1u);
  EXPECT_EQ (Platform.CallsStartingWith ("SetVariable")[0], "SetVariable CapsuleMax");
}

TEST_F (DispatchTest, AWrapperIsRemovedByOneLevelOnly)
{
  Bytes  Inner          = MakeCapsule (KindA, { 9, 8, 7, 6 });
  Bytes  Wrapped        = MakeCapsule (Wrapper5, Inner);
  Bytes  InnerWrapper   = MakeCapsule (Wrapper2, MakeCapsule (KindB, { 1 }));
  Bytes  DoubleWrapped  = MakeCapsule (Wrapper1, InnerWrapper);
  RecordingHandler  Wrapper2Handler;

  InstallHandler (Wrapper2, Wrapper2Handler);
  Hobs.AddCapsule (Wrapped.data (), Wrapped.size ())
    .AddCapsule (DoubleWrapped.data (), DoubleWrapped.size ())
    .Install (Platform);

  EXPECT_EQ (RunPass (), PassEnd::Returned);

  ASSERT_EQ (HandlerA.Calls.size (), 1u);
  EXPECT_EQ ((const UINT8 *)HandlerA.Calls[0].Capsule, Wrapped.data () + sizeof (EFI_CAPSULE_HEADER));
  EXPECT_EQ (HandlerA.Calls[0].Size, Inner.size ());

  // The inner wrapper is not unwrapped again: it goes to a handler of its GUID.
  EXPECT_TRUE (HandlerB.Calls.empty ());
  ASSERT_EQ (Wrapper2Handler.Calls.size (), 1u);
  EXPECT_EQ (Wrapper2Handler.Calls[0].Size, InnerWrapper.size ());
}

TEST_F (DispatchTest, AMalformedWrapperIsRefusedWithoutReadingOutsideIt)
{
  struct Case {
    const char    *What;
    UINT32        HeaderSize;        // of the wrapper
    INT64         InnerSizeDelta;    // added to the inner CapsuleImageSize
    INT64         OuterSizeDelta;    // added to the wrapper's CapsuleImageSize
  };
  const Case  Cases[] = {
    { "inner header starts past the wrapper",       0x1000, 0,   0 },
    { "inner header straddles the wrapper's end",   40,     0,   0 },
    { "HeaderSize smaller than a capsule header",   8,      0,   0 },
    { "inner capsule reaches past the wrapper",     28,     1,   0 },
    { "inner CapsuleImageSize below its header",    28,     -28, 0 },
    { "wrapper CapsuleImageSize below its header",  28,     0,   -40 },
    { "HeaderSize near 4 GiB (sums must not wrap)", 0xFFFFFFF0u, 0, 0 },
  };

  for (const Case &C : Cases) {
    SCOPED_TRACE (C.What);
    Bytes  Inner   = MakeCapsule (KindA, { 1, 2, 3, 4 });
    Put<UINT32>(Inner, 24, (UINT32)(Inner.size () + C.InnerSizeDelta));
    Bytes  Wrapper = MakeCapsule (Wrapper1, Inner);
    Put<UINT32>(Wrapper, 16, C.HeaderSize);
    Put<UINT32>(Wrapper, 24, (UINT32)(Wrapper.size () + C.OuterSizeDelta));
    // Exactly the declared bytes exist, so a read past them is caught.
    Wrapper.resize (Wrapper.size () + (C.OuterSizeDelta < 0 ? 0 : C.OuterSizeDelta));
    Wrapper.shrink_to_fit ();

    Reboot ();
    InstallHandler (KindA, HandlerA);
    Host::HobListBuilder  List;
    List.AddCapsule (Wrapper.data (), Wrapper.size ()).Install (Platform);
    EXPECT_EQ (RunPass (), PassEnd::Returned);
    EXPECT_TRUE (HandlerA.Calls.empty ());
  }
}

TEST_F (DispatchTest, ASecondPassDispatchesTheHobCapsulesAgain)
{
  Bytes  Capsule = MakeCapsule (KindA, { 5 });

  Hobs.AddCapsule (Capsule.data (), Capsule.size ()).Install (Platform);
  EXPECT_EQ (RunPass (), PassEnd::Returned);
  EXPECT_EQ (RunPass (), PassEnd::Returned);
  EXPECT_EQ (HandlerA.Calls.size (), 2u);
}

TEST_F (DispatchTest, HobListWithoutCapsulesOrWithABrokenHobEndsTheWalk)
{
  Bytes  Capsule = MakeCapsule (KindA, { 5 });

  // No HOB list at all: nothing happens.
  Platform.Reboot ();
  LoadDriver ();
  InstallHandler (KindA, HandlerA);
  EXPECT_EQ (RunPass (), PassEnd::Returned);
  EXPECT_TRUE (Platform.CallsStartingWith ("LocateProtocol").empty ());

  // A HOB of length 0 would never advance: the walk stops there.
  Hobs.AddHob (EFI_HOB_TYPE_RESOURCE_DESCRIPTOR, 0)
    .AddCapsule (Capsule.data (), Capsule.size ())
    .Install (Platform);
  EXPECT_EQ (RunPass (), PassEnd::Returned);
  EXPECT_TRUE (HandlerA.Calls.empty ());
}
