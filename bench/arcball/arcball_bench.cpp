// Benchmarks of the arcball's message handling and ball mapping and of the
// D3DX maths the viewer uses every frame. The window system is the recording
// fake, whose capture calls do nothing.
// Run: build/bench/arcball/arcball_bench
#include <benchmark/benchmark.h>

#include <vector>

#include "arcball/arcball.h"
#include "tests/fake/fake.h"

namespace {

struct Message {
  UINT number;
  WPARAM buttons;
  LPARAM point;
};

// A repeating mix: a left drag, a right drag and a middle drag of eight moves
// each, with their presses and releases.
std::vector<Message> MessageMix() {
  std::vector<Message> mix;
  const struct {
    UINT down, up;
    WPARAM flag;
  } buttons[] = {{WM_LBUTTONDOWN, WM_LBUTTONUP, MK_LBUTTON},
                 {WM_RBUTTONDOWN, WM_RBUTTONUP, MK_RBUTTON},
                 {WM_MBUTTONDOWN, WM_MBUTTONUP, MK_MBUTTON}};
  for (const auto& button : buttons) {
    mix.push_back({button.down, button.flag, MAKELPARAM(300, 150)});
    for (int i = 1; i <= 8; ++i) {
      mix.push_back({WM_MOUSEMOVE, button.flag, MAKELPARAM(300 + 17 * i, 150 - 11 * i)});
    }
    mix.push_back({button.up, 0, MAKELPARAM(436, 62)});
  }
  return mix;
}

ArcballControl ViewerBall() {
  ArcballControl ball;
  ball.Resize(600, 300, 0.9f);
  return ball;
}

void BM_HandleMouseMix(benchmark::State& state) {
  fake::Reset();
  ArcballControl ball = ViewerBall();
  const std::vector<Message> mix = MessageMix();
  const HWND window = reinterpret_cast<HWND>(std::uintptr_t{0x100});
  std::size_t next = 0;
  for (auto _ : state) {
    const Message& m = mix[next];
    benchmark::DoNotOptimize(ball.HandleMouse(window, m.number, m.buttons, m.point));
    next = next + 1 == mix.size() ? 0 : next + 1;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_HandleMouseMix);

void BM_HandleMouseLeftMove(benchmark::State& state) {
  ArcballControl ball = ViewerBall();
  ball.StartRotation(300, 150);
  int x = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        ball.HandleMouse(nullptr, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(300 + x, 100)));
    x = (x + 7) % 200;
  }
}
BENCHMARK(BM_HandleMouseLeftMove);

void BM_HandleMouseRightMove(benchmark::State& state) {
  ArcballControl ball = ViewerBall();
  int x = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        ball.HandleMouse(nullptr, WM_MOUSEMOVE, MK_RBUTTON, MAKELPARAM(300 + x, 100)));
    x = (x + 7) % 200;
  }
}
BENCHMARK(BM_HandleMouseRightMove);

void BM_MapToSphere(benchmark::State& state) {
  ArcballControl ball = ViewerBall();
  float x = 0.0f;
  for (auto _ : state) {
    benchmark::DoNotOptimize(ball.MapToSphere(x, 150.0f - x * 0.25f));
    x = x >= 600.0f ? 0.0f : x + 3.0f;
  }
}
BENCHMARK(BM_MapToSphere);

void BM_RotationMatrix(benchmark::State& state) {
  ArcballControl ball = ViewerBall();
  ball.StartRotation(300, 150);
  ball.ContinueRotation(435, 100);
  for (auto _ : state) {
    benchmark::DoNotOptimize(ball.RotationMatrix());
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_RotationMatrix);

void BM_MatrixMultiply(benchmark::State& state) {
  D3DXMATRIXA16 a, b;
  D3DXMatrixTranslation(&a, 1, 2, 3);
  const D3DXQUATERNION q(0.1f, 0.2f, 0.3f, 0.927362f);
  D3DXMatrixRotationQuaternion(&b, &q);
  for (auto _ : state) {
    benchmark::DoNotOptimize(D3DXMatrixMultiply(&a, &a, &b));
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_MatrixMultiply);

void BM_MatrixRotationQuaternion(benchmark::State& state) {
  D3DXMATRIXA16 m;
  D3DXQUATERNION q(0.1f, 0.2f, 0.3f, 0.927362f);
  for (auto _ : state) {
    benchmark::DoNotOptimize(&q);
    benchmark::DoNotOptimize(D3DXMatrixRotationQuaternion(&m, &q));
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_MatrixRotationQuaternion);

void BM_QuaternionMultiply(benchmark::State& state) {
  D3DXQUATERNION q(0.1f, 0.2f, 0.3f, 0.927362f);
  const D3DXQUATERNION step(0.0f, 0.0099998f, 0.0f, 0.99995f);
  for (auto _ : state) {
    benchmark::DoNotOptimize(D3DXQuaternionMultiply(&q, &q, &step));
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_QuaternionMultiply);

void BM_MatrixLookAtLH(benchmark::State& state) {
  D3DXMATRIXA16 m;
  D3DXVECTOR3 eye(0, 3, -5), at(0, 0, 0), up(0, 1, 0);
  for (auto _ : state) {
    benchmark::DoNotOptimize(&eye);
    benchmark::DoNotOptimize(D3DXMatrixLookAtLH(&m, &eye, &at, &up));
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_MatrixLookAtLH);

void BM_MatrixPerspectiveFovLH(benchmark::State& state) {
  D3DXMATRIXA16 m;
  float fovy = D3DX_PI / 4;
  for (auto _ : state) {
    benchmark::DoNotOptimize(fovy);
    benchmark::DoNotOptimize(D3DXMatrixPerspectiveFovLH(&m, fovy, 2.0f, 1.0f, 100.0f));
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_MatrixPerspectiveFovLH);

}  // namespace
