// The system parameter record: 480 words, loaded from PARAM.db, repaired and saved back.
#pragma once

#include <QString>
#include <cstddef>
#include <cstdint>
#include <functional>

// The record is 480 signed 32-bit words in field order. Words are named as the settings screens,
// the network report and the cycle know them; a word whose use lies elsewhere is named after that
// use, and words that nothing uses are reserved. wizardpara_test proves every word number.
// Six text fields each take 25 words (100 bytes, NUL-terminated, at most 99 characters).
struct WizardParaWords
{
    int32_t expose_time[8];              // 0-7   exposure per camera, ms
    int32_t adjust_plus[8];              // 8-15  gain
    int32_t sharp[8];                    // 16-23
    int32_t contrast[8];                 // 24-31
    int32_t gamma[8];                    // 32-39
    int32_t trigInDelay[8];              // 40-47 trigger-to-capture delay per stage, 0.1 s
    int32_t reserved48;                  // 48
    int32_t trigger_input[8];            // 49-56 0-based input that triggers each stage, -1 none
    int32_t reserved57[10];              // 57-66
    int32_t input_level[8];              // 67-74 level sense of inputs 1-8
    int32_t reserved75;                  // 75
    int32_t output_level[9];             // 76-84 level sense of outputs 1-9; 78 is the alarm
    int32_t semi_auto;                   // 85
    int32_t stage_enable[8];             // 86-93
    int32_t enabe_two_test;              // 94  product and mould stage share one parameter set
    int32_t enable_stop_mold;            // 95
    int32_t stop_detect_cut_thimble;     // 96  prohibit the ejector when detection stops
    int32_t enable_correct;              // 97  position correction: 0 or -1
    int32_t mold_cutoff;                 // 98
    int32_t is_psw_used;                 // 99
    int32_t save_retrain_images;         // 100 store re-training images when a whole cycle passes
    int32_t enable_product_detect;       // 101
    int32_t redetect_delay;              // 102 re-detection delay, 0.1 s
    int32_t continuous_ng_count;         // 103 product failures in a row before the continuous-NG alarm
    int32_t camera_serial_count;         // 104 derived: serial numbers loaded
    int32_t max_mold_num;                // 105 templates per region
    int32_t ng_max_num;                  // 106 NG images kept
    int32_t ok_record_max_num;           // 107 OK images kept
    int32_t location_level;              // 108 screen-off delay, s (0 never)
    int32_t capture_speed;               // 109
    int32_t difference_multiplier;       // 110
    int32_t auto_cancel_timelen;         // 111 automatic logout, s (0 never)
    int32_t front_mold_timelen;          // 112
    int32_t front_auto_check_time;       // 113 automatic re-detections of the mould stage
    int32_t thimble_pulse;               // 114 ejector pulse
    int32_t mold_pulse;                  // 115 clamp pulse
    int32_t input_timeout_len;           // 116 s without a cycle start before the no-input warning
    int32_t input_hold_time;             // 117 input hold time, 0.1 s
    int32_t word118;                     // 118
    int32_t skip_cycles;                 // 119 cycles to skip
    int32_t minimum_size;                // 120
    int32_t minimum_area;                // 121
    int32_t enable_cutoff_ontime;        // 122
    int32_t enable_stop_not_alarm;       // 123
    int32_t word124;                     // 124
    int32_t enable_output_thimble_pulse; // 125 input-4 substitution
    int32_t is_cut_ontime;               // 126
    int32_t is_cut_ontime_thimble;       // 127
    int32_t ok_ng_pulse;                 // 128 OK/NG pulse option
    int32_t swap_ok_ng_pulse;            // 129
    int32_t word130;                     // 130
    int32_t word131;                     // 131
    int32_t no_alarm_pulse;              // 132
    int32_t enable_pass_protect;         // 133
    int32_t word134;                     // 134
    int32_t word135;                     // 135
    int32_t stop_detect_password;        // 136 password dialog for stopping detection
    int32_t enable_disarm_before_open;   // 137
    int32_t enable_defect_detect;        // 138 region function 0 offered
    int32_t enable_spot_detect;          // 139 region function 1
    int32_t enable_ignore_area;          // 140 region function 2
    int32_t enable_manual_edit;          // 141 region function 3
    int32_t enable_display_detail;       // 142
    int32_t enable_trigger_safety;       // 143
    int32_t enable_one_not_mold;         // 144
    int32_t word145;                     // 145
    int32_t enable_statistics;           // 146
    int32_t enable_mold_backup;          // 147 output 4 follows output k
    int32_t location_adge;               // 148
    int32_t word149;                     // 149
    int32_t word150;                     // 150
    int32_t word151;                     // 151
    int32_t enable_message_log;          // 152
    int32_t offer_skip_detect;           // 153 skip-detection button offered
    int32_t word154;                     // 154
    int32_t enable_camera_check;         // 155 camera connection check and lost-camera box
    int32_t enable_io_link_box;          // 156
    int32_t serial_port;                 // 157
    int32_t enable_color_camera;         // 158
    int32_t enable_gray_channel;         // 159
    int32_t prohibit_optimize;           // 160
    int32_t enable_stop_check;           // 161 also reported as min_spot
    int32_t snap_shot;                   // 162
    int32_t factory_param;               // 163
    int32_t work_mode;                   // 164 machine mode in force, 0-5
    int32_t work_mode_next;              // 165 mode chosen on the settings screen, saved
    int32_t work_submode;                // 166
    int32_t pre_cut;                     // 167 clamp prohibited this many 0.1 s before the mould stage
    int32_t auto_exposure;               // 168
    int32_t auto_wdr;                    // 169
    int32_t word170;                     // 170 forced to 1 at start-up
    int32_t word171;                     // 171
    int32_t input3_starts_cycle;         // 172 mode 0: input 3 also starts a cycle
    int32_t enable_black_area;           // 173 region function 4 offered
    int32_t enable_white_area;           // 174 region function 5
    int32_t enable_white_count;          // 175 region function 7
    int32_t enable_direction;            // 176 region function 8
    int32_t enable_similarity;           // 177 region function 6
    int32_t enable_distance;             // 178 region function 9
    int32_t word179;                     // 179
    int32_t word180;                     // 180
    char password[100];                  // 181-205
    int32_t enable_network;              // 206
    int32_t local_addr[4];               // 207-210
    int32_t mask[4];                     // 211-214
    int32_t gateway[4];                  // 215-218
    int32_t net_report;                  // 219 network reporting on
    char net_user_name[100];             // 220-244 CntNet_UseName
    int32_t net_options[4];              // 245-248
    char net_tech_name[100];             // 249-273 CntNet_MsgTechName
    char net_tech_num[100];              // 274-298 CntNet_MsgTechNum
    char net_product_name[100];          // 299-323 CntNet_ProName
    int32_t net_stat_settings[3];        // 324-326
    char net_operator[100];              // 327-351 CntNet_Operator
    int32_t word352;                     // 352
    int32_t custom_stage_count;          // 353 stages in mode 4
    int32_t custom_stage_source[8];      // 354-361 mode 4: trigger source of each stage, -1 none
    int32_t trigger_source_input[8];     // 362-369 mode 4: trigger-table row of each source
    int32_t trigger_source_kind[8];      // 370-377 mode 4: kind 0-5 of each source
    int32_t stage_source[8];             // 378-385 derived: copy of custom_stage_source, mode 4
    int32_t reserved386;                 // 386
    int32_t io_name_index[16];           // 387-402 mode 4: name rows of inputs (8) and outputs (8)
    int32_t stage_count;                 // 403
    int32_t cycle_start_input1_only;     // 404 mode 4: cycle start only on input 1
    int32_t reserved405[14];             // 405-418
    int32_t lighting_compensation;       // 419 defect regions fit the lamp's gain and offset: 1 on, 0 off
    int32_t external_trigger;            // 420 cameras triggered by the machine
    int32_t word421;                     // 421
    int32_t word422;                     // 422
    int32_t word423;                     // 423
    int32_t word424[8];                  // 424-431
    int32_t reserved432[8];              // 432-439
    int32_t word440[8];                  // 440-447
    int32_t reserved448[8];              // 448-455
    int32_t h_mirror[8];                 // 456-463
    int32_t v_mirror[8];                 // 464-471
    int32_t sysadd;                      // 472 kept in sysadd.txt
    int32_t zoom_buttons;                // 473
    int32_t word474;                     // 474
    int32_t cycle_records;               // 475 detection-cycle records on
    int32_t alarm_with_ng_pulse;         // 476 alarm output together with the product NG pulse
    int32_t alarm_switches_capture;      // 477 change the capture mode while an alarm is raised
    int32_t input1_no_hold_idle;         // 478 input 1 needs no hold while idle
    int32_t roi_ng_warn_count;           // 479 region failures in a row before the region warning
};

static_assert(sizeof(WizardParaWords) == 480 * 4, "the parameter record is 480 words");

class WizardPara : public WizardParaWords
{
public:
    static constexpr int kWords = 480;

    WizardPara();

    // Word n of the record (0..479), for code that works by number (load, save, reports).
    int32_t &word(int n) { return reinterpret_cast<int32_t *>(static_cast<WizardParaWords *>(this))[n]; }
    int32_t word(int n) const { return reinterpret_cast<const int32_t *>(static_cast<const WizardParaWords *>(this))[n]; }

    // Fills the record from sysadd.txt, PARAM.db (connection "dbIn") and SN.db (connection "dbT"),
    // repairs it and derives the stage configuration and the signal names.
    void LoadDatafromFile();

    // Writes every stored word back to PARAM.db in one transaction, then takes the last good copy
    // (LastGood::Keep); false when the database refused.
    bool SaveDatatoFile();

    // Writes word 472 to sysadd.txt.
    void SaveAddFile();

    // Makes sure PARAM.db has a row `name`, creating it with value '0'.
    void SaveChkDBItem(const QString &name);

    // Steps of the load that tests and the settings screens use on their own.
    void Repair();
    void DeriveStages();
    void AssignSignalNames();

    // Called after the mode-4 stage derivation to build the shape models and train the templates of
    // every camera for every active stage; installed by the main window.
    static std::function<void(WizardPara &)> onCustomStagesDerived;
    // Called after a save to send the parameter report when the network link is up.
    static std::function<void(const WizardPara &)> onSaved;
};

// The fixed trigger-source table of mode 4: 1-based input numbers (input 2, the door, never triggers).
inline constexpr int kTriggerSourceInputs[8] = {1, 3, 4, 5, 6, 7, 8, 9};

// Texts of a 100-byte text field.
QString ParaText(const char (&field)[100], bool utf8 = false);
void SetParaText(char (&field)[100], const QString &text, bool utf8 = false);
