// ArcballControl: turns Win32-style mouse messages into the model's
// orientation (Shoemake's arcball) and an accumulated translation.
// Pure maths over window-client coordinates: it holds no window, device or
// other object, and includes no SDL or GL header.
#pragma once

#include "platform/d3dx9/d3dx9.h"
#include "platform/win32/win32.h"

class ArcballControl {
 public:
  // Resets the state, then sizes the ball to the foreground window's client
  // area (600 x 300 when there is none or it cannot be read), radius 0.9.
  ArcballControl();

  // Identity orientation and matrices, no drag, moveRadius and radius 1.0.
  void ResetState();
  // Rectangle size in pixels and ball radius as a fraction of the half sizes.
  // A non-positive size or radius is ignored (the old values stay). A running
  // drag keeps its start point.
  void Resize(int width, int height, float radius);
  // Client point -> unit vector on the ball (z >= 0); points outside the
  // ball's ellipse are pulled onto its rim (z = 0).
  D3DXVECTOR3 MapToSphere(float x, float y);

  // Starts a drag when (x, y) lies in the rectangle (right/bottom edges out).
  void StartRotation(int x, int y);
  // Sets orientation = startOrientation followed by the arc start -> (x, y).
  void ContinueRotation(int x, int y);
  void StopRotation();

  // Rebuilds rotation from orientation and returns it; valid while this lives.
  const D3DXMATRIX* RotationMatrix();
  // The accumulated translation; valid while this lives.
  const D3DXMATRIX* TranslationMatrix();

  // Mouse messages 0x200..0x209: rotation, pan, dolly and capture; returns 1
  // for those and 0 (changing nothing) for every other message.
  LRESULT HandleMouse(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  // Read-only views of the state, for tests and diagnostics.
  const D3DXQUATERNION& Orientation() const { return orientation; }
  bool Dragging() const { return dragging; }

 private:
  // WM_MOUSEMOVE: turn with the left button, else pan (right) or dolly (middle).
  void HandleMove(WPARAM buttons, int x, int y);
  // Multiplies one pan (pan true) or dolly step from lastMouse to (x, y) into
  // translation and remembers (x, y).
  void Translate(bool pan, int x, int y);
  void RememberMouse(int x, int y);

  D3DXMATRIXA16 rotation;
  D3DXMATRIXA16 translation;
  D3DXMATRIXA16 translationStep;
  POINT origin;
  int width;
  int height;
  float radius;
  float moveRadius;
  D3DXQUATERNION startOrientation;
  D3DXQUATERNION orientation;
  bool dragging;
  POINT lastMouse;
  bool lastMouseSet;  // no right/middle press seen yet: a move measures from itself
  D3DXVECTOR3 startPoint;
  D3DXVECTOR3 currentPoint;
};

// Quaternion (from x to, from . to): twice the angle between two unit vectors
// about the axis from x to. Not normalised.
D3DXQUATERNION RotationBetween(const D3DXVECTOR3* from, const D3DXVECTOR3* to);
