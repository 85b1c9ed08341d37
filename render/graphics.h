// The graphics objects of the program and the steps that use them: device
// lifetime, lighting, transforms and the frame. Single-threaded; every
// function runs on the message-loop thread.
#pragma once

#include "arcball/arcball.h"
#include "model/resources.h"

// The one arcball, made by StartGraphics; null before and after.
extern ArcballControl* g_arcball;

// Makes g_d3d, g_device (16-bit depth, no culling, depth test on) and
// g_arcball (600 x 300, radius 0.9). S_OK or E_FAIL.
HRESULT StartGraphics(HWND window);
// Deletes the arcball, releases buffer, texture, device and Direct3D object
// in that order and empties each global. Safe to call any number of times.
void ReleaseGraphics();

// Material from the vertex colours and one white spot light at index 0.
void ConfigureLighting();
// World = shift (-6, 0, 0) * arcball rotation * arcball translation;
// fixed camera and 60-degree projection with aspect 2.
void ComposeTransforms();
// Clears to white, draws every strip of the model, presents.
void DrawFrame();
