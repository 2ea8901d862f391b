// Setters and getters of the graph-creation settings.
#include "draw/draw.h"
#include "draw/draw_settings.h"

int SetCreateGraphColorBitDepth(int bits) {
    g_DrawSettings.createBitDepth = bits;
    return 0;
}
int GetCreateGraphColorBitDepth() { return g_DrawSettings.createBitDepth; }

int SetCreateDrawValidGraphFlag(int flag) {
    g_DrawSettings.drawableGraphs = flag;
    return 0;
}
int GetCreateDrawValidGraphFlag() { return g_DrawSettings.drawableGraphs; }

int SetUseAlphaTestFlag(int flag) {
    g_DrawSettings.alphaTest = flag;
    return 0;
}
int GetUseAlphaTestFlag() { return g_DrawSettings.alphaTest; }

int GetMovieGraphMarker() { return g_DrawSettings.movieGraphMarker; }

int SetMakeGraphAlphaFlag(int flag) {
    g_DrawSettings.makeGraphAlpha = flag;
    return 0;
}
int GetMakeGraphAlphaFlag() { return g_DrawSettings.makeGraphAlpha; }

int SetUseDefaultPoolFlag(int flag) {
    g_DrawSettings.defaultPool = flag;
    return 0;
}
int GetUseDefaultPoolFlag() { return g_DrawSettings.defaultPool; }
