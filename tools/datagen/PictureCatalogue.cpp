#include "PictureCatalogue.h"

#include "Canvas.h"
#include "DetMath.h"
#include "GlassPainter.h"
#include "MaskPainter.h"
#include "MoviePainter.h"
#include "SeascapePainter.h"
#include "SpacePainter.h"
#include "TerrainPainter.h"
#include "TexturePainter.h"

namespace datagen {

namespace {

constexpr int kScreenWidth = 512;
constexpr int kScreenHeight = 384;
constexpr int kSquare = 512;
constexpr int kMovieFrames = 256;

using Paint = std::function<std::vector<std::uint32_t>()>;

Colour hex(std::uint32_t rgb) { return hexColour(rgb); }

Paint seascape(SeascapeStyle style) {
    return [style] {
        Canvas canvas(kScreenWidth, kScreenHeight);
        paintSeascape(canvas, style);
        return canvas.toPixels();
    };
}

Paint mask(std::function<Shape()> makeShape, double feather) {
    return [makeShape, feather] {
        Field field(kScreenWidth, kScreenHeight);
        paintMask(field, makeShape(), feather);
        return field.toGreyPixels();
    };
}

// A planet over a nebula.
Paint planetScene(PlanetStyle planet, std::vector<Colour> nebula, double glow, std::uint32_t seed) {
    return [planet, nebula, glow, seed] {
        Canvas canvas(kScreenWidth, kScreenHeight);
        paintNebula(canvas, nebula, glow, seed);
        paintPlanet(canvas, planet);
        return canvas.toPixels();
    };
}

Paint relief(Relief kind, std::uint32_t seed) {
    return [kind, seed] { return reliefField(kSquare, kind, seed).toGreyPixels(); };
}

// The two voxel sets: their height pairs and the colours laid over them.
constexpr std::uint32_t kHillsSeed = 2401, kRidgesSeed = 2501, kDunesSeed = 2601, kTerracesSeed = 2701;

Paint voxelColours(Relief first, std::uint32_t firstSeed, Relief second, std::uint32_t secondSeed,
                   std::vector<Colour> palette, std::uint32_t seed) {
    return [=] {
        Field heights = averageFields(reliefField(kSquare, first, firstSeed), reliefField(kSquare, second, secondSeed));
        Canvas canvas(kSquare, kSquare);
        paintTerrainColours(canvas, heights, palette, -1.0, seed);
        return canvas.toPixels();
    };
}

// --- seascapes -------------------------------------------------------------------------------

SeascapeStyle loadingNight() {
    SeascapeStyle s;
    s.sky = {hex(0x02030C), hex(0x060B26), hex(0x0E1C45), hex(0x24406A)};
    s.sea = {hex(0x0E1D38), hex(0x050A18)};
    s.horizon = 262.0;
    s.moon = true;
    s.sunX = 118.0;
    s.sunY = 112.0;
    s.sunRadius = 34.0;
    s.sunColour = hex(0xE8ECF4);
    s.haloColour = hex(0x1A2A50);
    s.haloRadius = 150.0;
    s.stars = 420;
    s.starBrightness = 0.7;
    s.islands = 3;
    s.islandHeight = 34.0;
    s.islandColour = hex(0x03050C);
    s.glitter = 0.55;
    s.seed = 101;
    return s;
}

SeascapeStyle preDawn() {
    SeascapeStyle s;
    s.sky = {hex(0x0B0D2E), hex(0x2A2260), hex(0x7A4C8A), hex(0xE0879A), hex(0xF6C1A0)};
    s.sea = {hex(0x6C5A86), hex(0x1C1A40)};
    s.horizon = 250.0;
    s.sunX = 300.0;
    s.sunY = 290.0;
    s.haloColour = hex(0x60303A);
    s.haloRadius = 190.0;
    s.cloudCover = 0.35;
    s.cloudLit = hex(0xF2A8A8);
    s.cloudShade = hex(0x3A2A5A);
    s.stars = 140;
    s.starBrightness = 0.5;
    s.islands = 4;
    s.islandHeight = 42.0;
    s.islandColour = hex(0x140E28);
    s.glitter = 0.25;
    s.seed = 141;
    return s;
}

SeascapeStyle sunrise() {
    SeascapeStyle s = preDawn();
    s.sky = {hex(0x24306A), hex(0x5A5A9A), hex(0xE08A70), hex(0xFFC070), hex(0xFFE2A0)};
    s.sea = {hex(0xC08060), hex(0x30284A)};
    s.sunX = 360.0;
    s.sunY = 238.0;
    s.sunRadius = 26.0;
    s.sunColour = hex(0xFFF0C0) * 1.6;
    s.haloColour = hex(0xFF9040);
    s.haloRadius = 140.0;
    s.cloudLit = hex(0xFFD090);
    s.cloudShade = hex(0x6A4A6A);
    s.stars = 0;
    s.islandColour = hex(0x2A1A30);
    s.glitter = 0.8;
    return s;
}

// Later the same morning: the sun higher and paler, broken cloud, the sea turned blue.
SeascapeStyle lateMorning() {
    SeascapeStyle s = sunrise();
    s.sky = {hex(0x1E4A8A), hex(0x3E72B4), hex(0x86B2DA), hex(0xD4E2E4), hex(0xFFF2D0)};
    s.sea = {hex(0x4A86AE), hex(0x0E2A4C)};
    s.horizon = 262.0;
    s.sunX = 150.0;
    s.sunY = 128.0;
    s.sunRadius = 22.0;
    s.sunColour = hex(0xFFFCE8) * 1.4;
    s.haloColour = hex(0xF0D8A0);
    s.haloRadius = 120.0;
    s.cloudCover = 0.55;
    s.cloudLit = hex(0xFFF6E4);
    s.cloudShade = hex(0x6A7A98);
    s.islands = 3;
    s.islandHeight = 48.0;
    s.islandColour = hex(0x22323E);
    s.glitter = 0.6;
    s.seed = 471;
    return s;
}

SeascapeStyle sunsetBlaze() {
    SeascapeStyle s;
    s.sky = {hex(0x1A1050), hex(0x6A2070), hex(0xE04A50), hex(0xFF9A30), hex(0xFFD060)};
    s.sea = {hex(0xB04A40), hex(0x200C30)};
    s.horizon = 230.0;
    s.sunX = 330.0;
    s.sunY = 214.0;
    s.sunRadius = 32.0;
    s.sunColour = hex(0xFFF4C8) * 1.5;
    s.haloColour = hex(0xFF6A20);
    s.haloRadius = 170.0;
    s.cloudCover = 0.5;
    s.cloudLit = hex(0xFFB060);
    s.cloudShade = hex(0x50205A);
    s.islands = 2;
    s.islandHeight = 50.0;
    s.islandColour = hex(0x1A0820);
    s.glitter = 0.9;
    s.seed = 301;
    return s;
}

SeascapeStyle auroraNight(std::uint32_t seed) {
    SeascapeStyle s;
    s.sky = {hex(0x01020A), hex(0x04082A), hex(0x0A1A40), hex(0x163050)};
    s.sea = {hex(0x0C2438), hex(0x02060E)};
    s.horizon = 280.0;
    s.sunX = -400.0;
    s.haloColour = hex(0x000000);
    s.aurora = 0.85;
    s.auroraBase = 175.0;
    s.stars = 380;
    s.starBrightness = 0.75;
    s.islands = 4;
    s.islandHeight = 70.0;
    s.islandColour = hex(0x03060A);
    s.glitter = 0.0;
    s.seed = seed;
    return s;
}

SeascapeStyle moonlitClouds() {
    SeascapeStyle s;
    s.sky = {hex(0x03061A), hex(0x0C1840), hex(0x2A4070), hex(0x6A80A8)};
    s.sea = {hex(0x405878), hex(0x0A1226)};
    s.horizon = 240.0;
    s.moon = true;
    s.sunX = 300.0;
    s.sunY = 120.0;
    s.sunRadius = 46.0;
    s.sunColour = hex(0xF4F0E6);
    s.haloColour = hex(0x304878);
    s.haloRadius = 170.0;
    s.cloudCover = 0.45;
    s.cloudLit = hex(0xC0D0F0);
    s.cloudShade = hex(0x1A2448);
    s.stars = 200;
    s.islands = 2;
    s.islandColour = hex(0x050812);
    s.glitter = 0.7;
    s.seed = 581;
    return s;
}

SeascapeStyle goldenClouds() {
    SeascapeStyle s;
    s.sky = {hex(0x1E4A9A), hex(0x4A7AC0), hex(0xE8A070), hex(0xFFD890)};
    s.sea = {hex(0xD09060), hex(0x4A3050)};
    s.horizon = 300.0;
    s.sunX = 256.0;
    s.sunY = 200.0;
    s.sunRadius = 28.0;
    s.sunColour = hex(0xFFFFF0) * 1.4;
    s.haloColour = hex(0xFFA040) * 0.8;
    s.haloRadius = 190.0;
    s.cloudCover = 0.6;
    s.cloudLit = hex(0xFFE0B0);
    s.cloudShade = hex(0x8A5A7A);
    s.glitter = 1.0;
    s.seed = 441;
    return s;
}

SeascapeStyle homecoming() {
    SeascapeStyle s = sunsetBlaze();
    s.sky = {hex(0x102060), hex(0x4050A0), hex(0xC070A0), hex(0xFFB070), hex(0xFFE8B0)};
    s.sea = {hex(0xD08870), hex(0x182040)};
    s.horizon = 250.0;
    s.sunX = 256.0;
    s.sunY = 232.0;
    s.sunRadius = 36.0;
    s.islands = 3;
    s.islandColour = hex(0x1A1030);
    s.seed = 651;
    return s;
}

// --- catalogue -------------------------------------------------------------------------------

std::vector<PictureFile> buildCatalogue() {
    std::vector<PictureFile> files;
    auto colour = [&](std::string name, int width, int height, Paint paint) {
        files.push_back({std::move(name), width, height, false, PictureFormat::Jpeg, std::move(paint)});
    };
    auto grey = [&](std::string name, int width, int height, Paint paint) {
        files.push_back({std::move(name), width, height, true, PictureFormat::Jpeg, std::move(paint)});
    };

    const std::vector<Colour> violetNebula = {hex(0x2A0A50), hex(0x8A2A90), hex(0xF06A8A), hex(0x40C0D0)};
    const std::vector<Colour> tealNebula = {hex(0x06204A), hex(0x1A7A9A), hex(0x70E0C0), hex(0xF0A050)};
    const std::vector<Colour> deepNebula = {hex(0x100630), hex(0x3A1A80), hex(0xB03A8A), hex(0x2A80C0)};

    colour("x1.jpg", kScreenWidth, kScreenHeight, seascape(loadingNight()));
    colour("x2.jpg", 256, 16, [] {
        Canvas canvas(256, 16);
        paintCyclicStrip(canvas, {hex(0xFF3A20), hex(0xFFC030), hex(0xF0F0A0), hex(0x40E0A0), hex(0x2090F0),
                                  hex(0x6030D0), hex(0xE040C0)});
        return canvas.toPixels();
    });
    colour("x3.jpg", kScreenWidth, kScreenHeight, seascape(sunsetBlaze()));
    colour("x4.jpg", kScreenWidth, kScreenHeight, seascape(auroraNight(401)));
    {
        PlanetStyle ocean;
        ocean.centreX = 300.0;
        ocean.centreY = 230.0;
        ocean.radius = 210.0;
        ocean.surface = PlanetSurface::Ocean;
        ocean.palette = {hex(0x061A50), hex(0x1060A0), hex(0x2AA0B0), hex(0x6A9A50), hex(0x8A7A50), hex(0xE0D8C8)};
        ocean.atmosphereStrength = 0.9;
        ocean.seed = 5;
        colour("x5.jpg", kScreenWidth, kScreenHeight, planetScene(ocean, tealNebula, 0.3, 501));
    }
    colour("x6.jpg", kScreenWidth, kScreenHeight, [violetNebula] {
        Canvas canvas(kScreenWidth, kScreenHeight);
        paintNebula(canvas, violetNebula, 2.2, 601);
        return canvas.toPixels();
    });
    colour("x7.jpg", kMovieColumns, kMovieRows * kMovieFrames, [] {
        Canvas canvas(kMovieColumns, kMovieRows * kMovieFrames);
        paintMovie(canvas, kMovieFrames,
                   {{hex(0x04103A), hex(0x0A6A8A), hex(0x30E0A0), hex(0xA0F060), hex(0x2040C0), hex(0x8020A0)}, 38.0, 1.0, 701});
        return canvas.toPixels();
    });
    colour("x8.jpg", kMovieColumns, kMovieRows * kMovieFrames, [] {
        Canvas canvas(kMovieColumns, kMovieRows * kMovieFrames);
        paintMovie(canvas, kMovieFrames,
                   {{hex(0x300020), hex(0xC02040), hex(0xFF9020), hex(0xFFE080), hex(0xE05090), hex(0x502090)}, 30.0, 1.0, 801});
        return canvas.toPixels();
    });
    colour("x9.jpg", kSquare, kSquare, [] {
        Canvas canvas(kSquare, kSquare);
        paintNebula(canvas, {hex(0x05031A), hex(0x1A1050), hex(0x402060)}, 0.35, 901);
        GalaxyStyle galaxy;
        galaxy.size = 420.0;
        galaxy.seed = 902;
        paintGalaxy(canvas, galaxy);
        return canvas.toPixels();
    });
    colour("x10.jpg", kSquare, kSquare, [] {
        Canvas canvas(kSquare, kSquare);
        paintStainedGlass(canvas, 1001);
        return canvas.toPixels();
    });
    colour("x11.jpg", kSquare, kSquare, [] {
        Canvas canvas(kSquare, kSquare);
        paintCausticNet(canvas, 1101);
        return canvas.toPixels();
    });
    grey("x12.jpg", kScreenWidth, kScreenHeight, [] { return flowField(kScreenWidth, kScreenHeight, false, 1201).toGreyPixels(); });
    grey("x13.jpg", kScreenWidth, kScreenHeight, [] { return flowField(kScreenWidth, kScreenHeight, true, 1301).toGreyPixels(); });
    colour("x14.jpg", kScreenWidth, kScreenHeight, seascape(preDawn()));
    colour("x15.jpg", kScreenWidth, kScreenHeight, seascape(sunrise()));
    colour("x16.jpg", kScreenWidth, kScreenHeight, [] {
        Canvas canvas(kScreenWidth, kScreenHeight);
        paintUnderwater(canvas, 1601);
        return canvas.toPixels();
    });
    {
        PlanetStyle moon;
        moon.radius = 150.0;
        moon.surface = PlanetSurface::Rock;
        moon.palette = {hex(0x3A3A40), hex(0x7A7878), hex(0xB8B4AC), hex(0xECE8E0)};
        moon.lightX = -0.8;
        moon.lightY = -0.3;
        moon.lightZ = 0.5;
        moon.seed = 17;
        colour("x17.jpg", kScreenWidth, kScreenHeight, planetScene(moon, deepNebula, 0.25, 1701));
    }
    grey("x18.jpg", kScreenWidth, kScreenHeight, mask([] { return discShape(256.0, 192.0, 150.0); }, 2.5));
    colour("x19.jpg", kSquare, kSquare, [] {
        Field heights = flightTerrain(kSquare);
        Field depth = flightSeaDepth(kSquare);
        Canvas canvas(kSquare, kSquare);
        paintTerrainColours(canvas, heights,
                            {hex(0xD8C890), hex(0x6AA848), hex(0x3A8034), hex(0x2A6030), hex(0x7A6A50), hex(0x8A8078), hex(0xF4F4FA)},
                            0.5 / 255.0, 1901, &depth);
        return canvas.toPixels();
    });
    files.push_back({"x26.pcx", kSquare, kSquare, true, PictureFormat::Pcx, [] { return flightTerrain(kSquare).toGreyPixels(); }});
    colour("x21.jpg", kSquare, kSquare,
           voxelColours(Relief::RollingHills, kHillsSeed, Relief::Ridges, kRidgesSeed,
                        {hex(0x0A3A6A), hex(0x2A8AA0), hex(0xD8D090), hex(0x4A9A3A), hex(0x2A6A2A), hex(0x8A7A6A),
                         hex(0xF0F0F8)},
                        2101));
    colour("x22.jpg", kSquare, kSquare,
           voxelColours(Relief::Dunes, kDunesSeed, Relief::Terraces, kTerracesSeed,
                        {hex(0x301050), hex(0x8A3070), hex(0xE07A50), hex(0xF0C070), hex(0xF8E8C0), hex(0x70E0E0)},
                        2201));
    colour("x23.jpg", kSquare, kSquare, [] {
        Canvas canvas(kSquare, kSquare);
        paintGlints(canvas, 2301);
        return canvas.toPixels();
    });
    grey("x24.jpg", kSquare, kSquare, relief(Relief::RollingHills, kHillsSeed));
    grey("x25.jpg", kSquare, kSquare, relief(Relief::Ridges, kRidgesSeed));
    grey("x26.jpg", kSquare, kSquare, relief(Relief::Dunes, kDunesSeed));
    grey("x27.jpg", kSquare, kSquare, relief(Relief::Terraces, kTerracesSeed));
    colour("x28.jpg", kSquare, kSquare, [] {
        Canvas canvas(kSquare, kSquare);
        paintMarble(canvas, {hex(0x041840), hex(0x0A5A8A), hex(0x30B0C0), hex(0xF0E0B0), hex(0xE07050), hex(0x401850)}, 2801);
        return canvas.toPixels();
    });
    {
        PlanetStyle ringed;
        ringed.radius = 105.0;
        ringed.surface = PlanetSurface::Bands;
        ringed.palette = {hex(0x6A4020), hex(0xC08A50), hex(0xF0D8A0), hex(0xA06A40), hex(0xE8C890)};
        ringed.ringInner = 1.35;
        ringed.ringOuter = 2.3;
        ringed.ringTilt = 0.32;
        ringed.seed = 29;
        colour("x29.jpg", kScreenWidth, kScreenHeight, planetScene(ringed, deepNebula, 0.3, 2901));
    }
    {
        PlanetStyle ocean;
        ocean.centreX = 280.0;
        ocean.centreY = 200.0;
        ocean.radius = 165.0;
        ocean.surface = PlanetSurface::Ocean;
        ocean.palette = {hex(0x081E5A), hex(0x1A6AB0), hex(0x40B0C0), hex(0x5A8A40), hex(0x9A8A5A), hex(0xF0ECE0)};
        ocean.atmosphereStrength = 1.0;
        ocean.seed = 30;
        colour("x30.jpg", kScreenWidth, kScreenHeight, planetScene(ocean, tealNebula, 0.25, 3001));
    }
    {
        PlanetStyle crescent;
        crescent.radius = 160.0;
        crescent.surface = PlanetSurface::Bands;
        crescent.palette = {hex(0x0A3A4A), hex(0x2A9A9A), hex(0x8AE0D0), hex(0x1A6A80)};
        crescent.lightX = 1.0;
        crescent.lightY = -0.1;
        crescent.lightZ = 0.15;
        crescent.atmosphere = hex(0x60E0FF);
        crescent.atmosphereStrength = 1.2;
        crescent.seed = 31;
        colour("x31.jpg", kScreenWidth, kScreenHeight, planetScene(crescent, tealNebula, 0.2, 3101));
    }
    grey("x32.jpg", kScreenWidth, kScreenHeight,
         mask([] { return unionShape(discShape(256.0, 192.0, 105.0), ringShape(256.0, 192.0, 105.0 * 1.35, 105.0 * 2.3, 0.32)); }, 2.0));
    grey("x33.jpg", kScreenWidth, kScreenHeight, mask([] { return discShape(280.0, 200.0, 172.0); }, 6.0));
    grey("x34.jpg", kScreenWidth, kScreenHeight, mask([] { return crescentShape(256.0, 192.0, 172.0, -70.0, -8.0); }, 5.0));
    colour("x35.jpg", kScreenWidth, kScreenHeight, [] {
        Canvas canvas(kScreenWidth, kScreenHeight);
        paintNebula(canvas, {hex(0x200808), hex(0x6A2010), hex(0xE06A20)}, 0.5, 3501);
        canvas.addGlow(256.0, 192.0, 260.0, hex(0xFF6A10) * 0.6);
        canvas.addGlow(256.0, 192.0, 150.0, hex(0xFFB040) * 0.8);
        canvas.addGlow(256.0, 192.0, 80.0, hex(0xFFF0C0) * 1.2);
        canvas.addGlow(256.0, 192.0, 40.0, hex(0xFFFFFF) * 1.5);
        return canvas.toPixels();
    });
    colour("x36.jpg", kScreenWidth, kScreenHeight, [] {
        Canvas canvas(kScreenWidth, kScreenHeight);
        paintBubbles(canvas, 3601);
        return canvas.toPixels();
    });
    colour("x37.jpg", kScreenWidth, kScreenHeight, seascape([] {
        SeascapeStyle s = sunsetBlaze();
        s.horizon = 200.0;
        s.sunY = 184.0;
        s.sunX = 256.0;
        s.seed = 371;
        return s;
    }()));
    grey("x38.jpg", kScreenWidth, kScreenHeight, mask([] { return starburstShape(256.0, 192.0, 78.0, 8, 110.0); }, 6.0));
    grey("x39.jpg", kScreenWidth, kScreenHeight, mask([] {
        Shape bubbles = discShape(180, 170, 121);
        bubbles = unionShape(bubbles, discShape(370, 110, 71));
        bubbles = unionShape(bubbles, discShape(395, 280, 86));
        bubbles = unionShape(bubbles, discShape(95, 320, 46));
        bubbles = unionShape(bubbles, discShape(290, 330, 31));
        return unionShape(bubbles, discShape(460, 200, 29));
    }, 2.0));
    grey("x40.jpg", kScreenWidth, kScreenHeight, mask([] { return wavyBandShape(200.0, 90.0, 14.0, 170.0); }, 4.0));
    colour("x41.jpg", kScreenWidth, kScreenHeight, [] {
        Canvas canvas(kScreenWidth, kScreenHeight);
        paintNebula(canvas, {hex(0x020418), hex(0x0A1A4A), hex(0x1A5A8A), hex(0x60A0D0)}, 0.6, 4101);
        for (int y = 0; y < kScreenHeight; ++y)
            for (int x = 0; x < kScreenWidth; ++x) {
                double dx = (x - 256.0) / 256.0, dy = (y - 192.0) / 192.0;
                double ring = dx * dx + dy * dy;
                canvas.at(x, y) = canvas.at(x, y) + hex(0xFF8A50) * (0.35 * ring * ring * 0.5);
            }
        return canvas.toPixels();
    });
    colour("x42.jpg", kScreenWidth, kScreenHeight, seascape([] {
        SeascapeStyle s = auroraNight(421);
        s.horizon = 384.0;
        s.auroraBase = 130.0;
        s.islands = 0;
        s.aurora = 1.0;
        return s;
    }()));
    grey("x43.jpg", kScreenWidth, kScreenHeight, [] {
        Field field(kScreenWidth, kScreenHeight);
        paintSkyMask(field, 4301);
        return field.toGreyPixels();
    });
    colour("x44.jpg", kScreenWidth, kScreenHeight, seascape(goldenClouds()));
    colour("x45.jpg", kScreenWidth, kScreenHeight, seascape(auroraNight(451)));
    colour("x46.jpg", kScreenWidth, kScreenHeight, [deepNebula] {
        Canvas canvas(kScreenWidth, kScreenHeight);
        paintNebula(canvas, deepNebula, 1.1, 4601);
        return canvas.toPixels();
    });
    colour("x47.JPG", kScreenWidth, kScreenHeight, seascape(lateMorning()));
    {
        PlanetStyle giant;
        giant.centreX = 256.0;
        giant.centreY = 200.0;
        giant.radius = 95.0;
        giant.surface = PlanetSurface::Bands;
        giant.palette = {hex(0x301860), hex(0x8A50B0), hex(0xE0A0D0), hex(0x6040A0), hex(0xC0C0F0)};
        giant.ringInner = 1.3;
        giant.ringOuter = 2.5;
        giant.ringTilt = 0.25;
        giant.ringColour = hex(0xC0C8F0);
        giant.seed = 48;
        colour("x48.JPG", kScreenWidth, kScreenHeight, planetScene(giant, violetNebula, 0.3, 4801));
    }
    colour("x49.JPG", kScreenWidth, kScreenHeight, seascape(moonlitClouds()));
    {
        PlanetStyle glassWorld;
        glassWorld.radius = 140.0;
        glassWorld.surface = PlanetSurface::Ocean;
        glassWorld.palette = {hex(0x041030), hex(0x0A4AA0), hex(0x30C0E0), hex(0x90F0F0), hex(0xE0FFFF), hex(0xFFFFFF)};
        glassWorld.atmosphere = hex(0x80C0FF);
        glassWorld.atmosphereStrength = 1.3;
        glassWorld.seed = 50;
        colour("x50.JPG", kScreenWidth, kScreenHeight, planetScene(glassWorld, deepNebula, 0.35, 5001));
    }
    grey("x51.JPG", kScreenWidth, kScreenHeight, mask([] { return discShape(300.0, 236.0, 150.0); }, 8.0));
    grey("x52.JPG", kScreenWidth, kScreenHeight,
         mask([] { return unionShape(discShape(256.0, 200.0, 96.0), ringShape(256.0, 200.0, 95.0 * 1.3, 95.0 * 2.5, 0.25)); }, 2.0));
    grey("x53.JPG", kScreenWidth, kScreenHeight, mask([] { return wavyBandShape(180.0, 120.0, 18.0, 256.0); }, 5.0));
    grey("x54.JPG", kScreenWidth, kScreenHeight, mask([] { return polygonShape(256.0, 192.0, 150.0, 6, 0.0); }, 3.0));
    colour("x55.JPG", kScreenWidth, kScreenHeight, seascape(auroraNight(551)));
    {
        PlanetStyle limb;
        limb.centreX = 256.0;
        limb.centreY = 620.0;
        limb.radius = 420.0;
        limb.surface = PlanetSurface::Ocean;
        limb.palette = {hex(0x061A50), hex(0x1060A0), hex(0x2AA0B0), hex(0x6A9A50), hex(0x8A7A50), hex(0xE0D8C8)};
        limb.lightX = 0.2;
        limb.lightY = -1.0;
        limb.lightZ = 0.05;
        limb.atmosphereStrength = 1.4;
        limb.seed = 56;
        colour("x56.JPG", kScreenWidth, kScreenHeight, [limb, deepNebula] {
            Canvas canvas(kScreenWidth, kScreenHeight);
            paintNebula(canvas, deepNebula, 0.3, 5601);
            paintPlanet(canvas, limb);
            canvas.addGlow(300.0, 196.0, 200.0, hex(0xFFB060) * 0.6);
            canvas.addGlow(300.0, 196.0, 40.0, hex(0xFFFFF0) * 1.5);
            return canvas.toPixels();
        });
    }
    colour("x57.JPG", kScreenWidth, kScreenHeight, [] {
        Canvas canvas(kScreenWidth, kScreenHeight);
        paintSpectrumFan(canvas, 5701);
        return canvas.toPixels();
    });
    colour("x58.JPG", kScreenWidth, kScreenHeight, seascape([] {
        SeascapeStyle s = moonlitClouds();
        s.sunX = 200.0;
        s.sunY = 150.0;
        s.sunRadius = 60.0;
        s.seed = 582;
        return s;
    }()));
    colour("x59.JPG", kScreenWidth, kScreenHeight, [] {
        Canvas canvas(kScreenWidth, kScreenHeight);
        paintNebula(canvas, {hex(0x05031A), hex(0x301050), hex(0x602060)}, 0.3, 5901);
        GalaxyStyle galaxy;
        galaxy.centreY = 192.0;
        galaxy.size = 190.0;
        galaxy.tilt = 0.45;
        galaxy.turn = -0.3;
        galaxy.arms = hex(0x8AB0FF);
        galaxy.nebulae = hex(0xFF60A0);
        galaxy.seed = 5902;
        paintGalaxy(canvas, galaxy);
        return canvas.toPixels();
    });
    grey("x60.JPG", kScreenWidth, kScreenHeight, mask([] { return ellipseShape(256.0, 192.0, 230.0, 150.0); }, 6.0));
    grey("x61.JPG", kScreenWidth, kScreenHeight, mask([] { return polygonShape(256.0, 180.0, 150.0, 4, kPi / 4.0 + 0.0001); }, 3.0));
    grey("x62.JPG", kScreenWidth, kScreenHeight, mask([] { return polygonShape(256.0, 220.0, 110.0, 3, kPi / 2.0); }, 3.0));
    grey("x63.JPG", kScreenWidth, kScreenHeight, mask([] { return crescentShape(210.0, 160.0, 150.0, 60.0, -40.0); }, 4.0));
    grey("x64.JPG", kScreenWidth, kScreenHeight, mask([] { return ringShape(256.0, 192.0, 60.0, 185.0, 0.85); }, 4.0));
    colour("x65.jpg", kScreenWidth, kScreenHeight, seascape(homecoming()));
    grey("x66.jpg", kScreenWidth, kScreenHeight, mask([] { return discShape(256.0, 200.0, 150.0); }, 40.0));
    grey("superBob.jpg", 8, 8, [] {
        Field field(8, 8);
        paintGlowSprite(field);
        return field.toGreyPixels();
    });
    return files;
}

} // namespace

const std::vector<PictureFile>& pictureFiles() {
    static const std::vector<PictureFile> files = buildCatalogue();
    return files;
}

} // namespace datagen
