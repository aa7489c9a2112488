#include "support/NumberedClips.h"

#include <cstdlib>

bool MakeNumberedClip(const std::string& path, double seconds, int fps, int width, int height,
                      const std::string& creationTime)
{
    // Each stripe's width in pixels, so that stripe i covers X in [i*w, (i+1)*w).
    const int stripe = width / NumberedClipBits;
    std::string filter = "geq=lum='if(lt(Y," + std::to_string(height * 2 / 3) + "),255*mod(floor(N/pow(2,floor(X/" +
                         std::to_string(stripe) + "))),2),128)':cb=128:cr=128";
    std::string command = "ffmpeg -hide_banner -loglevel error -nostdin -y -f lavfi -i color=c=black:s=" +
                          std::to_string(width) + "x" + std::to_string(height) + ":r=" + std::to_string(fps) +
                          ":d=" + std::to_string(seconds) + " -vf \"" + filter +
                          "\" -c:v libx264 -pix_fmt yuv420p -g " + std::to_string(fps);
    if (!creationTime.empty())
        command += " -metadata creation_time=" + creationTime;
    command += " '" + path + "'";
    return std::system(command.c_str()) == 0;
}

int ReadFrameNumber(const std::function<double(double u, double v)>& luminance)
{
    // The grey band tells a numbered frame from a dark or busy picture.
    for (double u : {0.1, 0.5, 0.9})
        if (double grey = luminance(u, 0.85); grey < 100 || grey > 156)
            return -1;
    int number = 0;
    for (int bit = 0; bit < NumberedClipBits; ++bit)
    {
        // The stripe's middle, averaged over a few points down it.
        double u = (bit + 0.5) / NumberedClipBits;
        double sum = 0;
        for (double v : {0.2, 0.35, 0.5})
            sum += luminance(u, v);
        double mean = sum / 3;
        if (mean > 170)
            number |= 1 << bit;
        else if (mean > 85)
            return -1;
    }
    return number;
}
