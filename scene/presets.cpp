#include "scene/presets.h"

#include "scene/bounds.h"

namespace {

// Radius squared is given alongside the radius so every table value is the
// float nearest the written decimal.
void putSphere(FrameData& fd, int i, float x, float y, float z, float r, float r2, int material) {
    fd.sphereX[i] = x;
    fd.sphereY[i] = y;
    fd.sphereZ[i] = z;
    fd.sphereRadius[i] = r;
    fd.sphereRadius2[i] = r2;
    fd.sphereMaterial[i] = material;
}

void appendSphere(FrameData& fd, float x, float y, float z, float r, float r2, int material) {
    putSphere(fd, fd.sphereCount++, x, y, z, r, r2, material);
}

void putBox(FrameData& fd, int i, float x0, float y0, float z0, float x1, float y1, float z1, int material) {
    fd.boxMinX[i] = x0;
    fd.boxMinY[i] = y0;
    fd.boxMinZ[i] = z0;
    fd.boxMaxX[i] = x1;
    fd.boxMaxY[i] = y1;
    fd.boxMaxZ[i] = z1;
    fd.boxMaterial[i] = material;
}

void appendBox(FrameData& fd, float x0, float y0, float z0, float x1, float y1, float z1, int material) {
    putBox(fd, fd.boxCount++, x0, y0, z0, x1, y1, z1, material);
}

void putMaterial(FrameData& fd, int m, float red, float green, float blue, float kind) {
    fd.materials[m] = MaterialEntry{red, green, blue, kind};
}

}  // namespace

void buildSceneX(World& w) {
    FrameData& fd = w.frame;
    putMaterial(fd, 0, 10.0f, 10.0f, 10.0f, 0.0f);
    putMaterial(fd, 1, 0.8f, 0.8f, 0.3f, 0.0f);
    putMaterial(fd, 2, 1.0f, 0.0f, 0.0f, 0.0f);
    putMaterial(fd, 3, 0.0f, 0.0f, 1.0f, 0.0f);
    putMaterial(fd, 4, 1.0f, 1.0f, 1.0f, 0.0f);

    putSphere(fd, 0, 0.0f, 5.0f, 0.0f, 5.0f, 25.0f, 0);
    putSphere(fd, 1, 0.0f, -10000.0f, 0.0f, 10000.0f, 100000000.0f, 1);
    putSphere(fd, 2, -10.0f, 5.0f, 0.0f, 5.0f, 25.0f, 2);
    putSphere(fd, 3, 10.0f, 5.0f, 0.0f, 5.0f, 25.0f, 3);
    putBox(fd, 0, -50.0f, -1.0f, -20.0f, 50.0f, 40.0f, -19.0f, 4);
    fd.sphereCount = 4;
    fd.boxCount = 1;
}

void buildSceneY(World& w) {
    FrameData& fd = w.frame;
    SceneSlots& slots = w.slots;
    putMaterial(fd, 0, 50.0f, 50.0f, 100.0f, 0.0f);
    putMaterial(fd, 1, 0.8f, 0.8f, 0.3f, 0.0f);
    putMaterial(fd, 2, 0.8f, 0.8f, 0.4f, 0.0f);
    putMaterial(fd, 3, 0.4f, 1.0f, 0.4f, 0.5f);
    putMaterial(fd, 4, 1.0f, 1.0f, 1.0f, 0.0f);
    putMaterial(fd, 5, 0.7f, 0.1f, 0.1f, 0.0f);
    putMaterial(fd, 6, 0.8f, 0.8f, 0.7f, 1.0f);
    putMaterial(fd, 7, 0.2f, 0.2f, 0.5f, 0.0f);
    putMaterial(fd, 8, 1.0f, 1.0f, 1.0f, 0.0f);
    putMaterial(fd, 9, 0.0f, 0.0f, 0.0f, 0.0f);
    putMaterial(fd, 10, 1.0f, 0.4f, 0.4f, 0.5f);
    putMaterial(fd, 11, 0.4f, 0.4f, 1.0f, 0.5f);

    putSphere(fd, 0, 0.0f, 17.0f, 0.0f, 0.5f, 0.25f, 0);
    putSphere(fd, 1, 0.0f, -10000.0f, 0.0f, 10000.0f, 100000000.0f, 1);
    fd.sphereCount = 2;
    fd.boxCount = 0;

    // The grouped layout in the tracer relies on exactly these index ranges.
    slots.pedestalBoxStart = fd.boxCount;
    slots.pedestalSphereStart = fd.sphereCount;
    appendBox(fd, -6.0f, -1.0f, -6.0f, 6.0f, 9.0f, 6.0f, 4);
    appendBox(fd, -6.5f, 9.0f, -6.5f, 6.5f, 9.7f, 6.5f, 5);
    appendSphere(fd, 0.0f, 9.7f, 0.0f, 6.0f, 36.0f, 5);
    appendSphere(fd, -3.0f, 4.2f, 0.0f, 4.5f, 20.25f, 6);
    appendSphere(fd, 3.0f, 4.2f, 0.0f, 4.5f, 20.25f, 6);
    appendSphere(fd, 0.0f, 4.2f, 3.0f, 4.5f, 20.25f, 6);
    appendSphere(fd, 0.0f, 4.2f, -3.0f, 4.5f, 20.25f, 6);

    slots.figureSphereStart = fd.sphereCount;
    slots.figureBoxStart = fd.boxCount;
    appendSphere(fd, 10.0f, 4.0f, 10.0f, 3.0f, 9.0f, 7);
    appendSphere(fd, 11.3f, 4.0f, 10.0f, 2.0f, 4.0f, 8);
    appendSphere(fd, 12.5f, 4.0f, 10.0f, 1.0f, 1.0f, 9);
    appendSphere(fd, 11.0f, 6.0f, 11.0f, 1.0f, 1.0f, 7);
    appendBox(fd, 8.5f, 0.0f, 11.0f, 11.5f, 1.0f, 13.0f, 7);
    appendBox(fd, 8.5f, 0.0f, 7.0f, 11.5f, 1.0f, 9.0f, 7);

    slots.companionSphereStart = fd.sphereCount;
    appendSphere(fd, 5.0f, 3.0f, 7.0f, 2.0f, 4.0f, 2);
    appendSphere(fd, 5.4f, 3.0f, 7.0f, 1.7f, 2.89f, 8);
    appendSphere(fd, 6.0f, 3.0f, 7.0f, 1.2f, 1.44f, 9);
    appendSphere(fd, 20.0f, 4.0f, 20.0f, 4.0f, 16.0f, 3);
    appendSphere(fd, 28.0f, 6.0f, 28.0f, 6.0f, 36.0f, 10);
    appendSphere(fd, 25.0f, 3.0f, 15.0f, 3.0f, 9.0f, 11);

    updateFigureBounds(w);
    updatePedestalBounds(w);
}

void buildSceneZ(World& w) {
    FrameData& fd = w.frame;
    SceneSlots& slots = w.slots;
    putMaterial(fd, 0, 40.0f, 40.0f, 30.0f, 0.0f);
    putMaterial(fd, 1, 1.0f, 1.0f, 1.0f, 0.0f);
    putMaterial(fd, 2, 1.0f, 0.0f, 0.0f, 0.0f);
    putMaterial(fd, 3, 0.0f, 0.0f, 1.0f, 0.0f);
    putMaterial(fd, 4, 1.0f, 1.0f, 1.0f, 1.0f);
    putMaterial(fd, 7, 0.2f, 0.2f, 0.5f, 0.0f);
    putMaterial(fd, 8, 1.0f, 1.0f, 1.0f, 0.0f);
    putMaterial(fd, 9, 0.0f, 0.0f, 0.0f, 0.0f);

    putSphere(fd, 0, 0.0f, 37.0f, 0.0f, 2.0f, 4.0f, 0);
    putSphere(fd, 1, 0.0f, -10000.0f, 0.0f, 10000.0f, 100000000.0f, 1);
    putSphere(fd, 2, 0.0f, 10040.0f, 0.0f, 10000.0f, 100000000.0f, 1);
    putSphere(fd, 3, 0.0f, 0.0f, -10020.0f, 10000.0f, 100000000.0f, 1);
    putSphere(fd, 4, -10020.0f, 0.0f, 0.0f, 10000.0f, 100000000.0f, 2);
    putSphere(fd, 5, 10020.0f, 0.0f, 0.0f, 10000.0f, 100000000.0f, 3);
    putSphere(fd, 6, 12.0f, 6.0f, -10.0f, 6.0f, 36.0f, 4);
    fd.sphereCount = 7;
    fd.boxCount = 0;

    slots.figureSphereStart = fd.sphereCount;
    slots.figureBoxStart = fd.boxCount;
    appendSphere(fd, 0.0f, 4.0f, 0.0f, 3.0f, 9.0f, 7);
    appendSphere(fd, 1.3f, 4.0f, 0.0f, 2.0f, 4.0f, 8);
    appendSphere(fd, 2.5f, 4.0f, 0.0f, 1.0f, 1.0f, 9);
    appendSphere(fd, 1.0f, 6.0f, 1.0f, 1.0f, 1.0f, 7);
    appendBox(fd, -1.5f, 0.0f, 1.0f, 1.5f, 1.0f, 3.0f, 7);
    appendBox(fd, -1.5f, 0.0f, -3.0f, 1.5f, 1.0f, -1.0f, 7);

    slots.companionSphereStart = fd.sphereCount;
    appendSphere(fd, 5.0f, 3.0f, 7.0f, 2.0f, 4.0f, 7);
    appendSphere(fd, 5.4f, 3.0f, 7.0f, 1.7f, 2.89f, 8);
    appendSphere(fd, 6.0f, 3.0f, 7.0f, 1.2f, 1.44f, 9);
}
