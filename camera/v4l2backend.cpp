#include "camera/v4l2backend.h"

#include "core/globals.h"
#include "camera/backends/sdkbackend.h"
#include "camera/cameraglobals.h"
#include "camera/framehandover.h"
#include "params/wizardpara.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavdevice/avdevice.h>
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include <opencv2/imgproc.hpp>

#include <QMutex>
#include <cstdio>
#include <mutex>

namespace {

std::string printPiece(const char *format, double value)
{
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

void registerDevices()
{
    static std::once_flag once;
    std::call_once(once, [] { avdevice_register_all(); });
}

}  // namespace

V4l2Backend::V4l2Backend(int position, FrameSlot &slot) : CameraBackend(position, slot)
{
    const WizardPara &para = CameraSettingsRecord();
    m_pieces[0] = ContrastPiece(para.contrast[position]);
    m_pieces[1] = GammaPiece(para.gamma[position]);
    m_pieces[2] = SharpPiece(para.sharp[position]);
}

V4l2Backend::~V4l2Backend()
{
    release();
    avfilter_graph_free(&m_graph);
    sws_freeContext(m_scaler);
}

int V4l2Backend::code() const { return kCameraV4l2; }

std::string V4l2Backend::ContrastPiece(int contrast) { return printPiece("eq=contrast=%f:", contrast * 0.02 - 2); }
std::string V4l2Backend::GammaPiece(int gamma) { return printPiece("gamma=%f,", gamma * 0.0396 + 0.1); }
std::string V4l2Backend::SharpPiece(int sharp) { return printPiece("unsharp=5:5:%f", sharp * 0.05); }

std::string V4l2Backend::filterDescription() const
{
    return m_pieces[0] + m_pieces[1] + m_pieces[2] + m_pieces[3];
}

bool V4l2Backend::openDevice(const std::string &path)
{
    m_tried.push_back(path);
    av_dict_free(&m_options);
    av_dict_set(&m_options, "framerate", "30", 0);
    const AVInputFormat *format = av_find_input_format(CameraPaths::videoFormat.c_str());
    if (avformat_open_input(&m_format, path.c_str(), format, &m_options) < 0) {
        m_format = nullptr;
        return false;
    }
    m_opened = path;
    return true;
}

bool V4l2Backend::open()
{
    registerDevices();
    release();
    m_tried.clear();
    m_opened.clear();
    char path[512];
    std::snprintf(path, sizeof path, CameraPaths::videoDevice.c_str(), m_position);
    bool opened = openDevice(path);
    for (int n = gFindCamera; !opened && n <= 63; ++n) {
        std::snprintf(path, sizeof path, CameraPaths::videoDevice.c_str(), n);
        opened = openDevice(path);
    }
    if (!opened)
        return false;
    if (avformat_find_stream_info(m_format, nullptr) < 0) {
        release();
        return false;
    }
    // The last stream of video type.
    m_stream = -1;
    for (unsigned i = 0; i < m_format->nb_streams; ++i)
        if (m_format->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO)
            m_stream = static_cast<int>(i);
    if (m_stream < 0) {
        release();
        return false;
    }
    const AVCodecParameters *parameters = m_format->streams[m_stream]->codecpar;
    const AVCodec *decoder = avcodec_find_decoder(parameters->codec_id);
    if (!decoder) {
        release();
        return false;
    }
    m_codec = avcodec_alloc_context3(decoder);
    if (!m_codec || avcodec_parameters_to_context(m_codec, parameters) < 0 ||
        avcodec_open2(m_codec, decoder, nullptr) < 0) {
        release();
        return false;
    }
    m_frame = av_frame_alloc();
    m_filtered = av_frame_alloc();
    m_packet = av_packet_alloc();
    return true;
}

void V4l2Backend::release()
{
    av_packet_free(&m_packet);
    av_frame_free(&m_frame);
    av_frame_free(&m_filtered);
    avcodec_free_context(&m_codec);
    avformat_close_input(&m_format);
    av_dict_free(&m_options);
    m_stream = -1;
}

void V4l2Backend::close()
{
    QMutexLocker lock(SharedMutex(pMutex[m_position], "pMutex[position]"));
    release();
    // The graph belongs to the decoder just closed; the next setting builds a new one.
    avfilter_graph_free(&m_graph);
    m_source = m_sink = nullptr;
}

int V4l2Backend::init_filters(const char *description)
{
    if (!m_codec || !m_format)
        return AVERROR(EINVAL);
    const AVFilter *bufferSource = avfilter_get_by_name("buffer");
    const AVFilter *bufferSink = avfilter_get_by_name("buffersink");
    AVFilterInOut *outputs = avfilter_inout_alloc();
    AVFilterInOut *inputs = avfilter_inout_alloc();
    AVFilterGraph *graph = avfilter_graph_alloc();
    AVFilterContext *source = nullptr;
    AVFilterContext *sink = nullptr;
    const AVRational timeBase = m_format->streams[m_stream]->time_base;
    const enum AVPixelFormat formats[] = {AV_PIX_FMT_GRAY8, AV_PIX_FMT_NONE};
    char args[512];
    int result = AVERROR(ENOMEM);
    if (!outputs || !inputs || !graph)
        goto end;
    std::snprintf(args, sizeof args, "video_size=%dx%d:pix_fmt=%d:time_base=%d/%d:pixel_aspect=%d/%d",
                  m_codec->width, m_codec->height, m_codec->pix_fmt, timeBase.num, timeBase.den,
                  m_codec->sample_aspect_ratio.num, m_codec->sample_aspect_ratio.den);
    result = avfilter_graph_create_filter(&source, bufferSource, "in", args, nullptr, graph);
    if (result < 0) {
        av_log(nullptr, AV_LOG_ERROR, "Cannot create buffer source\n");
        goto end;
    }
    result = avfilter_graph_create_filter(&sink, bufferSink, "out", nullptr, nullptr, graph);
    if (result < 0) {
        av_log(nullptr, AV_LOG_ERROR, "Cannot create buffer sink\n");
        goto end;
    }
    result = av_opt_set_int_list(sink, "pix_fmts", formats, AV_PIX_FMT_NONE, AV_OPT_SEARCH_CHILDREN);
    if (result < 0) {
        av_log(nullptr, AV_LOG_ERROR, "Cannot set output pixel format\n");
        goto end;
    }
    outputs->name = av_strdup("in");
    outputs->filter_ctx = source;
    outputs->pad_idx = 0;
    outputs->next = nullptr;
    inputs->name = av_strdup("out");
    inputs->filter_ctx = sink;
    inputs->pad_idx = 0;
    inputs->next = nullptr;
    result = avfilter_graph_parse_ptr(graph, description, &inputs, &outputs, nullptr);
    if (result < 0)
        goto end;
    result = avfilter_graph_config(graph, nullptr);
    if (result < 0)
        goto end;
    // The new graph replaces the old one only once it is complete.
    avfilter_graph_free(&m_graph);
    m_graph = graph;
    m_source = source;
    m_sink = sink;
    graph = nullptr;
end:
    avfilter_graph_free(&graph);
    avfilter_inout_free(&inputs);
    avfilter_inout_free(&outputs);
    return result;
}

cv::Mat V4l2Backend::avframe_to_cvmat(const AVFrame *frame)
{
    const bool color = gisColor;
    const AVPixelFormat target = color ? AV_PIX_FMT_RGB24 : AV_PIX_FMT_GRAY8;
    cv::Mat image(frame->height, frame->width, color ? CV_8UC3 : CV_8UC1);
    m_scaler = sws_getCachedContext(m_scaler, frame->width, frame->height, static_cast<AVPixelFormat>(frame->format),
                                    frame->width, frame->height, target, SWS_FAST_BILINEAR, nullptr, nullptr, nullptr);
    if (!m_scaler)
        return {};
    uint8_t *data[4] = {image.data, nullptr, nullptr, nullptr};
    int lines[4] = {static_cast<int>(image.step[0]), 0, 0, 0};
    sws_scale(m_scaler, frame->data, frame->linesize, 0, frame->height, data, lines);
    return image;
}

void V4l2Backend::grabStep()
{
    QMutexLocker lock(SharedMutex(pMutex[m_position], "pMutex[position]"));
    if (!m_format || !m_codec)
        return;
    if (av_read_frame(m_format, m_packet) < 0)
        return;
    bool decoded = false;
    const AVFrame *picture = nullptr;
    if (m_packet->stream_index == m_stream && avcodec_send_packet(m_codec, m_packet) >= 0 &&
        avcodec_receive_frame(m_codec, m_frame) >= 0) {
        decoded = true;
        picture = m_frame;
        if (m_graph && av_buffersrc_add_frame_flags(m_source, m_frame, AV_BUFFERSRC_FLAG_KEEP_REF) >= 0 &&
            av_buffersink_get_frame(m_sink, m_filtered) >= 0)
            picture = m_filtered;
    }
    if (decoded) {
        cv::Mat image = avframe_to_cvmat(picture);
        if (!image.empty()) {
            // A device that sends another size than the station's is scaled to it, never read past
            // the end of its image.
            if (image.cols != gImageW || image.rows != gImageH)
                cv::resize(image, image, cv::Size(gImageW, gImageH), 0, 0, cv::INTER_LINEAR);
            if (gisColor) {
                RGB2RGBA(m_slot.conversion(), image.data, gImageW, gImageH);
                m_slot.deliverLocked(m_slot.conversion(), static_cast<std::size_t>(gColorLen));
            } else {
                m_slot.deliverLocked(image.data, static_cast<std::size_t>(gImageLen));
            }
        }
        av_frame_unref(m_filtered);
        av_frame_unref(m_frame);
    }
    av_packet_unref(m_packet);
}

void V4l2Backend::rebuild(int piece, const std::string &text)
{
    QMutexLocker lock(SharedMutex(pMutex[m_position], "pMutex[position]"));
    m_pieces[piece] = text;
    init_filters(filterDescription().c_str());
}

void V4l2Backend::setContrast(const WizardPara &para) { rebuild(0, ContrastPiece(para.contrast[m_position])); }
void V4l2Backend::setGamma(const WizardPara &para) { rebuild(1, GammaPiece(para.gamma[m_position])); }
void V4l2Backend::setSharp(const WizardPara &para) { rebuild(2, SharpPiece(para.sharp[m_position])); }

void V4l2Backend::restoreDefaults(WizardPara &edit, const WizardPara &)
{
    edit.contrast[m_position] = 140;
    edit.gamma[m_position] = 40;
    edit.sharp[m_position] = 0;
    QMutexLocker lock(SharedMutex(pMutex[m_position], "pMutex[position]"));
    m_pieces[0] = ContrastPiece(140);
    m_pieces[1] = GammaPiece(40);
    m_pieces[2] = SharpPiece(0);
    m_pieces[3].clear();
}

std::unique_ptr<CameraBackend> MakeV4l2Backend(int position, FrameSlot &slot)
{
    return std::make_unique<V4l2Backend>(position, slot);
}
