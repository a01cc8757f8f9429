// Small value types and option sets shared across kit's user-interface
// classes: content modes, autoresizing masks, control states and events,
// text alignment and line breaking, orientations and interface idioms.
#pragma once

#include <cstdint>
#include <string>

namespace kit {

// How a view lays out its content (an image or a layer's contents) when its
// bounds differ from the content's size.
enum class ContentMode {
  ScaleToFill = 0,
  ScaleAspectFit,
  ScaleAspectFill,
  Redraw,
  Center,
  Top,
  Bottom,
  Left,
  Right,
  TopLeft,
  TopRight,
  BottomLeft,
  BottomRight,
};

// Which parts of a view follow its superview's size changes.
enum AutoresizingMask : unsigned {
  AutoresizingNone = 0,
  AutoresizingFlexibleLeftMargin = 1u << 0,
  AutoresizingFlexibleWidth = 1u << 1,
  AutoresizingFlexibleRightMargin = 1u << 2,
  AutoresizingFlexibleTopMargin = 1u << 3,
  AutoresizingFlexibleHeight = 1u << 4,
  AutoresizingFlexibleBottomMargin = 1u << 5,
};

// A control's state: normal is zero, the others are flags.
enum ControlState : unsigned {
  ControlStateNormal = 0,
  ControlStateHighlighted = 1u << 0,
  ControlStateDisabled = 1u << 1,
  ControlStateSelected = 1u << 2,
  ControlStateFocused = 1u << 3,
};

// The events a control reports to its actions.
enum class ControlEvent : unsigned {
  TouchDown = 1u << 0,
  TouchDownRepeat = 1u << 1,
  TouchDragInside = 1u << 2,
  TouchDragOutside = 1u << 3,
  TouchDragEnter = 1u << 4,
  TouchDragExit = 1u << 5,
  TouchUpInside = 1u << 6,
  TouchUpOutside = 1u << 7,
  TouchCancel = 1u << 8,
  ValueChanged = 1u << 12,
  PrimaryActionTriggered = 1u << 13,
  EditingDidBegin = 1u << 16,
  EditingChanged = 1u << 17,
  EditingDidEnd = 1u << 18,
  EditingDidEndOnExit = 1u << 19,
};

enum class TextAlignment { Left = 0, Center, Right, Justified, Natural };

enum class LineBreakMode {
  ByWordWrapping = 0,
  ByCharWrapping,
  ByClipping,
  ByTruncatingHead,
  ByTruncatingTail,
  ByTruncatingMiddle,
};

// Vertical placement of the text when a label shrinks its font.
enum class BaselineAdjustment { AlignBaselines = 0, AlignCenters, None };

enum class InterfaceOrientation {
  Unknown = 0,
  Portrait = 1,
  PortraitUpsideDown = 2,
  LandscapeLeft = 4,
  LandscapeRight = 3,
};

// A set of interface orientations, as the platform's mask.
enum InterfaceOrientationMask : unsigned {
  OrientationMaskPortrait = 1u << 1,
  OrientationMaskPortraitUpsideDown = 1u << 2,
  OrientationMaskLandscapeRight = 1u << 3,
  OrientationMaskLandscapeLeft = 1u << 4,
  OrientationMaskLandscape = OrientationMaskLandscapeLeft | OrientationMaskLandscapeRight,
  OrientationMaskAll = OrientationMaskPortrait | OrientationMaskPortraitUpsideDown | OrientationMaskLandscape,
  OrientationMaskAllButUpsideDown = OrientationMaskPortrait | OrientationMaskLandscape,
};

inline bool isLandscape(InterfaceOrientation o) {
  return o == InterfaceOrientation::LandscapeLeft || o == InterfaceOrientation::LandscapeRight;
}

enum class StatusBarStyle { Default = 0, LightContent = 1, DarkContent = 3 };

// Window levels: windows of a higher level lie above those of a lower one.
using WindowLevel = double;
inline constexpr WindowLevel WindowLevelNormal = 0;
inline constexpr WindowLevel WindowLevelStatusBar = 1000;
inline constexpr WindowLevel WindowLevelAlert = 2000;

// Options of view animations: flags in the low bits, the curve in bits 16-19
// and the transition in bits 20-23, as the platform packs them.
enum AnimationOptions : unsigned {
  AnimationOptionNone = 0,
  AnimationOptionLayoutSubviews = 1u << 0,
  AnimationOptionAllowUserInteraction = 1u << 1,
  AnimationOptionBeginFromCurrentState = 1u << 2,
  AnimationOptionRepeat = 1u << 3,
  AnimationOptionAutoreverse = 1u << 4,
  AnimationOptionOverrideInheritedDuration = 1u << 5,
  AnimationOptionCurveEaseInOut = 0u << 16,
  AnimationOptionCurveEaseIn = 1u << 16,
  AnimationOptionCurveEaseOut = 2u << 16,
  AnimationOptionCurveLinear = 3u << 16,
  AnimationOptionTransitionNone = 0u << 20,
  AnimationOptionTransitionFlipFromLeft = 1u << 20,
  AnimationOptionTransitionFlipFromRight = 2u << 20,
  AnimationOptionTransitionCurlUp = 3u << 20,
  AnimationOptionTransitionCurlDown = 4u << 20,
  AnimationOptionTransitionCrossDissolve = 5u << 20,
  AnimationOptionTransitionFlipFromTop = 6u << 20,
  AnimationOptionTransitionFlipFromBottom = 7u << 20,
};

// "No intrinsic size" along an axis.
inline constexpr double NoIntrinsicMetric = -1;

}  // namespace kit
