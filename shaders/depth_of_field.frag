#version 430
// Depth of field: inside the letterbox band, each pixel gathers 198 samples
// along a golden-angle spiral out to 20 pixels. A sample joins the average
// as far as its own circle of confusion reaches the ring it lies on;
// otherwise the running mean counts again. A sample behind the centre may
// not be blurred more than twice the centre, so a sharp foreground edge
// keeps the blurred background out. Outside the band the result is zero.
//
// Depth is the scene's alpha (hit distance / 100) times 1000; 0 is a ray
// that hit nothing and stands for infinitely far away.

layout(std140, binding = 0) uniform FD
{
    float T0;
    float F0;
    vec2 R0;
    vec4 M0;
    vec4 CP;
    vec4 CR;
};

layout(std140, binding = 1) uniform TrackData
{
    float dofFocusPoint;
    float dofFocusScale;
    float bloomLuminance;
    float camPosX;
    float camPosY;
    float camPosZ;
    float camRotX;
    float camRotY;
    float camRotZ;
    float viggnet;
    float scene;
};

layout(binding = 0) uniform sampler2D depthSource;
layout(binding = 1) uniform sampler2D colorSource;

layout(location = 0) out vec4 color;

const float kDepthScale = 1000.0;
const float kGoldenAngle = 2.39996;
const float kMaxRadius = 20.0;
const float kRadiusScale = 1.0;

// (cos a, sin a) for the spiral's 198 angles, a growing from 0 by the golden
// angle in single precision, as the radius grows from 1 by 1 / radius until
// it reaches 20: the same for every pixel, worked out once here rather than
// twice 198 times per pixel.
const int kSamples = 198;
const vec2 kSpiral[kSamples] = vec2[kSamples](
    vec2(1.0, 0.0), vec2(-0.737366724, 0.675492645),
    vec2(0.0874193718, -0.996171598), vec2(0.608446453, 0.793594931),
    vec2(-0.984715707, -0.174169391), vec2(0.843746481, -0.536741907),
    vec2(-0.259584908, 0.965720289), vec2(-0.460928103, -0.887437482),
    vec2(0.939330701, 0.343012878), vec2(-0.924333696, 0.381585139),
    vec2(0.423814522, -0.905749), vec2(0.299320517, 0.954152623),
    vec2(-0.865232308, -0.501371174), vec2(0.97666595, -0.214764106),
    vec2(-0.575090568, 0.818089749), vec2(-0.128561433, -0.991701547),
    vec2(0.764684332, 0.644405053), vec2(-0.999143635, 0.0413762753),
    vec2(0.708785563, -0.705424004), vec2(-0.0461256859, 0.998935644),
    vec2(-0.640762501, -0.76773916), vec2(0.991079166, 0.13327448),
    vec2(-0.820814456, 0.571194913), vec2(0.219402839, -0.975634355),
    vec2(0.497253892, 0.867605075), vec2(-0.952719466, -0.303851311),
    vec2(0.907752757, -0.41950558), vec2(-0.385973303, 0.922509951),
    vec2(-0.338541676, -0.940951398), vec2(0.885233563, 0.465146792),
    vec2(-0.966945861, 0.254981768), vec2(0.540758201, -0.841178083),
    vec2(0.169469216, 0.985535481), vec2(-0.790680887, -0.612228499),
    vec2(0.9965779, -0.0826588744), vec2(-0.67901037, 0.734128679),
    vec2(0.00478446652, -0.999988554), vec2(0.671954536, 0.740592399),
    vec2(-0.995741326, -0.0921911682), vec2(0.796502994, -0.604634584),
    vec2(-0.178891873, 0.98386874), vec2(-0.532684359, -0.846313992),
    vec2(0.964461717, 0.264222628), vec2(-0.889643943, 0.456654853),
    vec2(0.347529975, -0.937668874), vec2(0.377128297, 0.926161027),
    vec2(-0.90369539, -0.428175947), vec2(0.955585597, -0.294713705),
    vec2(-0.505542961, 0.862801434), vec2(-0.210042203, -0.97769232),
    vec2(0.81530017, 0.579038541), vec2(-0.992311905, 0.123762204),
    vec2(0.648099862, -0.761555362), vec2(0.0365344381, 0.999332395),
    vec2(-0.701984018, -0.712192697), vec2(0.998700415, 0.0509654881),
    vec2(-0.770837392, 0.637031957), vec2(0.138082746, -0.990420696),
    vec2(0.567201525, 0.823579037), vec2(-0.974556365, -0.224142571),
    vec2(0.870013738, -0.49302748), vec2(-0.308485919, 0.951228909),
    vec2(-0.415077845, -0.9097859), vec2(0.920616971, 0.39046689),
    vec2(-0.942590948, 0.333949556), vec2(0.469457678, -0.882954976),
    vec2(0.250263891, 0.968177662), vec2(-0.838531337, -0.544853372),
    vec2(0.9863501, -0.164661713), vec2(-0.616076596, 0.78768625),
    vec2(-0.0777985598, -0.996969099), vec2(0.730809085, 0.682581923),
    vec2(-0.999953338, -0.00966037203), vec2(0.743860058, -0.668335406),
    vec2(-0.097045325, 0.995279963), vec2(-0.600743633, -0.799441735),
    vec2(0.982984764, 0.183687108), vec2(-0.84890131, 0.528551384),
    vec2(0.26892222, -0.963161897), vec2(0.452311504, 0.891860024),
    vec2(-0.935963164, -0.352097934), vec2(0.927988901, -0.372607836),
    vec2(-0.432577292, 0.901596853), vec2(-0.290050748, -0.957011266),
    vec2(0.860326141, 0.509743987), vec2(-0.978704867, 0.20527246),
    vec2(0.583007076, -0.812467076), vec2(0.118922202, 0.992903575),
    vec2(-0.758386162, -0.651805515), vec2(0.999498657, -0.0316612409),
    vec2(-0.715612447, 0.698497549), vec2(0.0558421811, -0.998439608),
    vec2(0.633259863, 0.773939239), vec2(-0.989734538, -0.142917965),
    vec2(0.826339228, -0.563172691), vec2(-0.228899288, 0.97345011),
    vec2(-0.48877276, -0.872411135), vec2(0.949711029, 0.313127707),
    vec2(-0.911802144, 0.410629821), vec2(0.394958202, -0.91869909),
    vec2(0.329342291, 0.944210599), vec2(-0.88065178, -0.47376412),
    vec2(0.969388317, -0.245532668), vec2(-0.548941966, 0.835860465),
    vec2(-0.159842763, -0.987142488), vec2(0.784668156, 0.619916031),
    vec2(-0.997337151, 0.0729287864), vec2(0.686131697, -0.72747735),
    vec2(-0.0145284193, 0.999894457), vec2(-0.664706085, -0.747104959),
    vec2(0.994795714, 0.101889585), vec2(-0.802356914, 0.596844521),
    vec2(0.188470483, -0.982078855), vec2(0.524412339, 0.851464444),
    vec2(-0.961841265, -0.27360808), vec2(0.894051484, -0.447964223),
    vec2(-0.356650394, 0.934237923), vec2(-0.36808561, -0.929791904),
    vec2(0.899480214, 0.43696149), vec2(-0.958412005, 0.285388208),
    vec2(0.513926348, -0.857834313), vec2(0.200505312, 0.979692615),
    vec2(-0.809619142, -0.586955573), vec2(0.993470768, -0.114086952),
    vec2(-0.65548991, 0.755203932), vec2(-0.0267949175, -0.999640952),
    vec2(0.695005392, 0.719004524), vec2(-0.998155914, -0.0607023116),
    vec2(0.777013023, -0.629484521), vec2(-0.147734684, 0.989027028),
    vec2(-0.559143076, -0.829071179), vec2(0.972324203, 0.233635709),
    vec2(-0.874780333, 0.484519731), vec2(0.317747558, -0.948175347),
    vec2(0.406185947, 0.913790444), vec2(-0.916765393, -0.399426106),
    vec2(0.945802776, -0.324741604), vec2(-0.478045861, 0.878334876),
    vec2(-0.240810399, -0.970572178), vec2(0.833178097, 0.553004755),
    vec2(-0.987908966, 0.155035075), vec2(0.623728754, -0.781640865),
    vec2(0.0680724971, 0.997680377), vec2(-0.72411785, -0.689676257),
    vec2(0.999811581, 0.0194113781), vec2(-0.75034224, 0.661049561),
    vec2(0.106746601, -0.994286258), vec2(0.592918975, 0.805262124),
    vec2(-0.98114672, -0.193264362), vec2(0.854015335, -0.520247833),
    vec2(-0.278302111, 0.960493589), vec2(-0.443592648, -0.896228521),
    vec2(0.932485027, 0.36120863), vec2(-0.931578416, 0.363540444),
    vec2(0.441349024, -0.897335522), vec2(0.280704258, 0.959794311),
    vec2(-0.855314248, -0.51810958), vec2(0.980660129, -0.195718447),
    vec2(-0.590902468, 0.806743003), vec2(-0.10923383, -0.994016082),
    vec2(0.751993744, 0.659170243), vec2(-0.999759888, 0.0219127039),
    vec2(0.722390111, -0.691485739), vec2(-0.0655762294, 0.997847563),
    vec2(-0.625682357, -0.780077938), vec2(0.98829375, 0.152562982),
    vec2(-0.83179195, 0.555087517), vec2(0.238381412, -0.971171613),
    vec2(0.480241834, 0.877136124), vec2(-0.946612273, -0.322374323),
    vec2(0.915763216, -0.401718473), vec2(-0.403898502, 0.914803804),
    vec2(-0.320118764, -0.947377421), vec2(0.875989795, 0.482329638),
    vec2(-0.971736636, 0.236067595), vec2(0.557067108, -0.830467481),
    vec2(0.150208627, 0.988654322), vec2(-0.778585472, -0.627538575),
    vec2(0.998000922, -0.063199366), vec2(-0.693204369, 0.720741079),
    vec2(0.0242938739, -0.99970486), vec2(0.657377271, 0.753561625),
    vec2(-0.993753088, -0.111601072), vec2(0.808148129, -0.588979288),
    vec2(-0.198053633, 0.980191185), vec2(-0.516070919, -0.856545858),
    vec2(0.959123006, 0.282989504), vec2(-0.898384184, 0.439210494),
    vec2(0.36575825, -0.930709892), vec2(0.358986609, 0.93334271),
    vec2(-0.895169428, -0.445726031), vec2(0.961153726, -0.276013614),
    vec2(-0.522280455, 0.852773784), vec2(-0.190926915, -0.981604255),
    vec2(0.803847623, 0.59483527), vec2(-0.994537687, 0.104378104),
    vec2(0.662834854, -0.748765621), vec2(0.0170299678, 0.99985498));

float depthAt(vec2 uv)
{
    return texture(depthSource, uv).a * kDepthScale;
}

// Blur radius in pixels, 0 to 20: |clamp((1/P - 1/D) * S, -1, 1)| * 20.
// A focus point or a depth of 0 makes its reciprocal infinite, so the
// radius is the largest, 20, unless the scale is 0, when nothing blurs.
// These cases are decided here rather than left to 1/0, inf - inf and
// inf * 0, which give NaN (and GLSL leaves division by zero unspecified).
float circleOfConfusion(float depth)
{
    if (dofFocusScale == 0.0)
        return 0.0;
    if (depth == 0.0 || dofFocusPoint == 0.0)
        return kMaxRadius;
    float c = clamp((1.0 / dofFocusPoint - 1.0 / depth) * dofFocusScale, -1.0, 1.0);
    return abs(c) * kMaxRadius;
}

void main()
{
    vec2 uv = gl_FragCoord.xy / R0;
    if (!(abs(2.0 * uv.y - 1.0) < 0.8)) {
        color = vec4(0.0);
        return;
    }

    vec2 pixel = 1.0 / R0;
    float centerDepth = depthAt(uv);
    float centerSize = circleOfConfusion(centerDepth);

    vec3 sum = texture(colorSource, uv).rgb;
    float count = 1.0;
    float radius = kRadiusScale;
    for (int i = 0; i < kSamples; ++i) {
        vec2 q = uv + kSpiral[i] * pixel * radius;
        vec3 sampleColor = texture(colorSource, q).rgb;
        float sampleDepth = depthAt(q);
        float sampleSize = circleOfConfusion(sampleDepth);
        if (sampleDepth > centerDepth)
            sampleSize = clamp(sampleSize, 0.0, centerSize * 2.0);
        float w = smoothstep(radius - 0.5, radius + 0.5, sampleSize);
        sum += mix(sum / count, sampleColor, w);
        count += 1.0;
        radius += kRadiusScale / radius;
    }
    color = vec4(sum / count, 1.0);
}
