// ArcballControl: Shoemake's arcball over a window rectangle, plus pan and
// dolly by mouse. Left drags turn the orientation, right drags move along x/y,
// middle drags along z; every press captures the mouse and every release
// frees it. Pure arithmetic on Win32-style messages; no window state is kept.
#include "arcball/arcball.h"

#include <cmath>

namespace {

// Size used when the constructor cannot read a usable foreground client area.
constexpr int FALLBACK_WIDTH = 600;
constexpr int FALLBACK_HEIGHT = 300;
constexpr float INITIAL_RADIUS = 0.9f;

// Scales turning a translating move's ball offsets into model units.
constexpr float PAN_X_FACTOR = -2.0f;
constexpr float PAN_Y_FACTOR = 2.0f;
constexpr float DOLLY_FACTOR = 5.0f;

// sqrt taken in double and rounded to float, as the ball mapping is defined.
float RoundedSqrt(float value) { return static_cast<float>(std::sqrt(static_cast<double>(value))); }

}  // namespace

ArcballControl::ArcballControl() {
  ResetState();
  startPoint = D3DXVECTOR3(0.0f, 0.0f, 0.0f);
  currentPoint = D3DXVECTOR3(0.0f, 0.0f, 0.0f);
  origin = POINT{0, 0};
  lastMouse = POINT{0, 0};
  lastMouseSet = false;

  // The ball first fills the foreground window's client area; the owner
  // normally resizes it right away.
  RECT client{0, 0, 0, 0};
  const HWND foreground = GetForegroundWindow();
  const bool readable = foreground != nullptr && GetClientRect(foreground, &client) != FALSE &&
                        client.right > 0 && client.bottom > 0;
  if (readable) {
    Resize(client.right, client.bottom, INITIAL_RADIUS);
  } else {
    Resize(FALLBACK_WIDTH, FALLBACK_HEIGHT, INITIAL_RADIUS);
  }
}

void ArcballControl::ResetState() {
  D3DXQuaternionIdentity(&startOrientation);
  D3DXQuaternionIdentity(&orientation);
  D3DXMatrixIdentity(&rotation);
  D3DXMatrixIdentity(&translation);
  D3DXMatrixIdentity(&translationStep);
  dragging = false;
  moveRadius = 1.0f;
  radius = 1.0f;
}

void ArcballControl::Resize(int newWidth, int newHeight, float newRadius) {
  // A rectangle or ball without extent would divide by zero in every mapping
  // and turn the orientation and translation into NaN for good: keep the
  // previous, usable size instead.
  if (newWidth <= 0 || newHeight <= 0 || !(newRadius > 0.0f) || !std::isfinite(newRadius)) {
    return;
  }
  width = newWidth;
  height = newHeight;
  radius = newRadius;
}

D3DXVECTOR3 ArcballControl::MapToSphere(float x, float y) {
  // Integer half sizes (toward zero); the ball's half axes are not rounded.
  const int hx = width / 2;
  const int hy = height / 2;
  const float bx = static_cast<float>(-((x - origin.x) - hx) / (width * radius / 2.0));
  const float by = static_cast<float>(((y - origin.y) - hy) / (height * radius / 2.0));
  const float m = bx * bx + by * by;
  if (m > 1.0f) {
    // Outside the ball: pull the point onto its rim.
    const float s = 1.0f / RoundedSqrt(m);
    return D3DXVECTOR3(bx * s, by * s, 0.0f);
  }
  return D3DXVECTOR3(bx, by, RoundedSqrt(1.0f - m));
}

void ArcballControl::StartRotation(int x, int y) {
  // Right and bottom edges lie outside the rectangle.
  const bool inside =
      origin.x <= x && x < origin.x + width && origin.y <= y && y < origin.y + height;
  if (!inside) {
    return;
  }
  dragging = true;
  startOrientation = orientation;
  startPoint = MapToSphere(static_cast<float>(x), static_cast<float>(y));
}

void ArcballControl::ContinueRotation(int x, int y) {
  if (!dragging) {
    return;
  }
  currentPoint = MapToSphere(static_cast<float>(x), static_cast<float>(y));
  // Each move restarts from the press, so intermediate moves leave no trace.
  const D3DXQUATERNION drag = RotationBetween(&startPoint, &currentPoint);
  D3DXQuaternionMultiply(&orientation, &startOrientation, &drag);
}

void ArcballControl::StopRotation() { dragging = false; }

const D3DXMATRIX* ArcballControl::RotationMatrix() {
  D3DXMatrixRotationQuaternion(&rotation, &orientation);
  return &rotation;
}

const D3DXMATRIX* ArcballControl::TranslationMatrix() { return &translation; }

LRESULT ArcballControl::HandleMouse(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  const int x = GET_X_LPARAM(lParam);
  const int y = GET_Y_LPARAM(lParam);
  switch (message) {
    case WM_MOUSEMOVE:
      HandleMove(wParam, x, y);
      return 1;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
      SetCapture(window);
      StartRotation(x, y);
      return 1;
    case WM_LBUTTONUP:
      ReleaseCapture();
      StopRotation();
      return 1;
    case WM_RBUTTONDOWN:
    case WM_RBUTTONDBLCLK:
    case WM_MBUTTONDOWN:
    case WM_MBUTTONDBLCLK:
      SetCapture(window);
      RememberMouse(x, y);
      return 1;
    case WM_RBUTTONUP:
    case WM_MBUTTONUP:
      ReleaseCapture();
      return 1;
    default:
      return 0;
  }
}

void ArcballControl::HandleMove(WPARAM buttons, int x, int y) {
  // Left over right over middle: a held left button only ever turns.
  if (buttons & MK_LBUTTON) {
    ContinueRotation(x, y);
  } else if (buttons & (MK_RBUTTON | MK_MBUTTON)) {
    Translate((buttons & MK_RBUTTON) != 0, x, y);
  }
}

void ArcballControl::Translate(bool pan, int x, int y) {
  // A move with no press seen yet (button pressed outside the window)
  // measures from itself rather than jumping from an unknown point.
  if (!lastMouseSet) {
    RememberMouse(x, y);
  }
  const float dx = static_cast<float>(lastMouse.x - x) * moveRadius / static_cast<float>(width);
  const float dy = static_cast<float>(lastMouse.y - y) * moveRadius / static_cast<float>(height);
  if (pan) {
    D3DXMatrixTranslation(&translationStep, PAN_X_FACTOR * dx, PAN_Y_FACTOR * dy, 0.0f);
  } else {
    D3DXMatrixTranslation(&translationStep, 0.0f, 0.0f, DOLLY_FACTOR * dy);
  }
  D3DXMatrixMultiply(&translation, &translation, &translationStep);
  RememberMouse(x, y);
}

void ArcballControl::RememberMouse(int x, int y) {
  lastMouse = POINT{x, y};
  lastMouseSet = true;
}

D3DXQUATERNION RotationBetween(const D3DXVECTOR3* from, const D3DXVECTOR3* to) {
  const float dot = from->x * to->x + from->y * to->y + from->z * to->z;
  const float crossX = from->y * to->z - from->z * to->y;
  const float crossY = from->z * to->x - from->x * to->z;
  const float crossZ = from->x * to->y - from->y * to->x;
  // Axis from the cross product, w from the dot product: twice the arc.
  return D3DXQUATERNION(crossX, crossY, crossZ, dot);
}
